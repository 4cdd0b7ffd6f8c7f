/* Resource and control numbers of the setup program, shared by its resource
   script and its code. Plain defines: the resource compiler reads this too. */
#pragma once

#define IDD_SETUP 102
#define IDI_SETUP 128

#define IDC_HOST_NAME 1000
#define IDC_USER_ID 1001
#define IDC_PASSWORD 1002
#define IDC_MAIL_WAVE 1003
#define IDC_MAIL_READER 1004
#define IDC_DELAY 1005
#define IDC_ACTION 1006
#define IDC_HOST_LIST 1007
#define IDC_ADD 1008
#define IDC_DELETE 1009
#define IDC_BROWSE_SOUND 1013
#define IDC_BROWSE_READER 1015
#define IDC_SECURITY 1016
#define IDC_PORT 1017
#define IDC_PROTOCOL 1018
#define IDC_PORT_HINT 1019
#define ID_HELP 57670
