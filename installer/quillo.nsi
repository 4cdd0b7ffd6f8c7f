; The Quillo installer, one per architecture, for the current user alone: no
; administrator rights, nothing outside the user's own profile and registry.
; installer/make-packages builds it; it defines on the command line:
;   ARCH          x86 or x64
;   VERSION       the version text, e.g. 1.0.0
;   VERSION_QUAD  the same as four numbers, e.g. 1.0.0.0
;   STAGE         the folder holding quillo.exe, kelvo.exe, kelvo.chm, readme.txt
;   OUTFILE       the installer to write

!macro REQUIRE name
  !ifndef ${name}
    !error "${name} is not defined (installer/make-packages defines it)"
  !endif
!macroend
!insertmacro REQUIRE ARCH
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE VERSION_QUAD
!insertmacro REQUIRE STAGE
!insertmacro REQUIRE OUTFILE
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH is x86 or x64, not ${ARCH}"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillo"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Vantorel Works\Quillo"
; The monitor's hidden window has this class (and title); "Exit Quillo" in
; its tray menu is this command. Posting it ends the monitor as the user would.
!define MONITOR_WINDOW "ZT-Quillo"
!define EXIT_COMMAND 2184
!define SYNCHRONIZE 0x00100000
; How long one monitor may take to end before we give up and ask the user.
!define EXIT_WAIT_MS 10000

Name "Quillo"
; Not "Quillo Setup": that is the title of the setup program's dialog.
Caption "Quillo ${VERSION} Installer"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Quillo"
; An upgrade goes where the last install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
BrandingText "Quillo ${VERSION} (${ARCH})"
ManifestDPIAware true

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "Quillo"
VIAddVersionKey /LANG=1033 "CompanyName" "Vantorel Works"
VIAddVersionKey /LANG=1033 "FileDescription" "Quillo ${VERSION} setup (${ARCH})"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Vantorel Works"

!define MUI_ICON "${__FILEDIR__}/../monitor/icons/quillo.ico"
!define MUI_UNICON "${__FILEDIR__}/../monitor/icons/quillo.ico"
!define MUI_ABORTWARNING

!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "Quillo ${VERSION} will be installed for you alone, into $INSTDIR. No administrator rights are needed. Mailboxes you have already set up are kept."
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Quillo ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "Quillo Setup, in your Start menu, keeps the list of mailboxes that the monitor checks. A monitor that has no mailboxes yet opens it for you.$\r$\n$\r$\nClick Finish to close this installer."
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillo.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Quillo now"
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Quillo will be removed from $INSTDIR. A running Quillo is ended first. Your mailboxes are kept for a later install unless you tick the box below."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Ends every running monitor through its own "Exit Quillo" command and waits
; for each process to end, so that its program file is free to be replaced or
; removed. A monitor that does not end in time is never killed: the user is
; asked to exit it, or the (un)installation stops.
!macro DEFINE_END_MONITORS un
Function ${un}EndRunningMonitors
  Push $0 ; the monitor's window
  Push $1 ; its process id
  Push $2 ; its process handle
  Push $3 ; the wait's result
  ${Do}
    FindWindow $0 "${MONITOR_WINDOW}"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
    ; Posted, not sent: a monitor showing a box must not hold us up.
    System::Call 'user32::PostMessage(p r0, i ${WM_COMMAND}, p ${EXIT_COMMAND}, p 0)'
    DetailPrint "Asked the running Quillo (process $1) to exit"
    StrCpy $3 1 ; still running unless seen to end
    ${If} $2 P<> 0
      ; 0 is WAIT_OBJECT_0: the process has ended.
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; Without a handle to wait on, wait for the window to go.
      ${For} $2 1 100
        IsWindow $0 still_there
        StrCpy $3 0
        ${Break}
        still_there:
        Sleep 100
      ${Next}
    ${EndIf}
    ${If} $3 <> 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quillo is still running and did not exit when asked.$\r$\n$\r$\nExit it from the menu of its icon in the notification area (Exit Quillo), then choose Retry." /SD IDCANCEL IDRETRY retry
      Pop $3
      Pop $2
      Pop $1
      Pop $0
      Abort "Quillo is still running."
      retry:
    ${EndIf}
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_END_MONITORS ""
!insertmacro DEFINE_END_MONITORS "un."

Section "Quillo (the mail monitor and its setup)" SecProgram
  SectionIn RO
  Call EndRunningMonitors
  SetOutPath "$INSTDIR"
  File "${STAGE}/quillo.exe"
  File "${STAGE}/kelvo.exe"
  File "${STAGE}/kelvo.chm"
  File "${STAGE}/readme.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Quillo.lnk" "$INSTDIR\quillo.exe" "" "$INSTDIR\quillo.exe" 0 \
    SW_SHOWNORMAL "" "Tells you when mail is waiting"
  CreateShortcut "$SMPROGRAMS\Quillo Setup.lnk" "$INSTDIR\kelvo.exe" "" "$INSTDIR\kelvo.exe" 0 \
    SW_SHOWNORMAL "" "Your mailboxes for Quillo"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quillo"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Vantorel Works"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillo.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The next section writes it again when it stays ticked; an upgrade on
  ; which it was unticked thus stops the start at logon.
  DeleteRegValue HKCU "${RUN_KEY}" "Quillo"
SectionEnd

Section "Start Quillo when I log on" SecLogon
  WriteRegStr HKCU "${RUN_KEY}" "Quillo" '"$INSTDIR\quillo.exe"'
SectionEnd

Function .onInit
  SetShellVarContext current
  ; An upgrade keeps the user's choice: a Quillo installed without the start
  ; at logon is offered without it again.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    ClearErrors
    ReadRegStr $1 HKCU "${RUN_KEY}" "Quillo"
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecLogon}
    ${EndIf}
  ${EndIf}
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "quillo.exe (the tray monitor), kelvo.exe (Quillo Setup), the help and a readme, with Start menu shortcuts."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecLogon} "Start the monitor each time you log on to Windows, so that your mailboxes are checked from the start."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "un.Quillo" UnSecProgram
  SectionIn RO
  Call un.EndRunningMonitors
  Delete "$INSTDIR\quillo.exe"
  Delete "$INSTDIR\kelvo.exe"
  Delete "$INSTDIR\kelvo.chm"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files the user put there stay.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Quillo.lnk"
  Delete "$SMPROGRAMS\Quillo Setup.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Quillo"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Also remove my settings" UnSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Vantorel Works"
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecProgram} "The programs, the help, the Start menu shortcuts and the start at logon."
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecSettings} "Also delete your mailboxes and their passwords from the registry."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
