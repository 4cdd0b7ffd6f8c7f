// Placeholder until the new-mail actions land.
#include "new_mail_actions.h"

void NotifyNewMail(int32_t) {}
void StartMailReader(int32_t) {}
