/* Resource and control numbers of the "Sign in" window, shared by its
   resource script and its code. Plain defines: the resource compiler reads
   this too. Its own range, apart from the setup dialog's. */
#pragma once

#define IDD_SIGN_IN 120

#define IDC_SIGN_IN_ACCOUNT 1200
#define IDC_SIGN_IN_STATUS 1201
#define IDC_SIGN_IN_ADDRESS 1202
#define IDC_SIGN_IN_COPY_LINK 1203
#define IDC_SIGN_IN_CODE 1204
#define IDC_SIGN_IN_COPY_CODE 1205
#define IDC_SIGN_IN_USE_CODE 1206
