#include "single_instance.h"

SingleInstance::SingleInstance(const char* name)
{
    SetLastError(ERROR_SUCCESS);
    mutex_.reset(CreateMutexA(nullptr, FALSE, name));
    // A copy that runs with other rights holds a name this one may not even
    // open. Any other failure lets the program run: better two copies than
    // none.
    const DWORD error = GetLastError();
    first_ = error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED;
}
