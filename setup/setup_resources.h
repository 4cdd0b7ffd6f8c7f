/* Resource and control numbers of the setup program, shared by its resource
   script and its code. Plain defines: the resource compiler reads this too. */
#pragma once

#define IDD_SETUP 102
#define IDD_PROVIDER 103
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
#define IDC_SIGN_IN 1020
#define IDC_SIGN_IN_STATUS 1021
#define IDC_SIGN_IN_BUTTON 1022
#define IDC_PROVIDER 1023
#define IDC_PASSWORD_LABEL 1024

/* The provider dialog's fields, in the order of ProviderField
   (host_editor_rules.h), and its note. */
#define IDC_PROVIDER_AUTHORIZE 1100
#define IDC_PROVIDER_TOKEN 1101
#define IDC_PROVIDER_CLIENT_ID 1102
#define IDC_PROVIDER_SCOPE 1103
#define IDC_PROVIDER_DEVICE 1104
#define IDC_PROVIDER_NOTE 1105
#define ID_HELP 57670
