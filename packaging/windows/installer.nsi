; The per-user installer of the VORNIX7 logger (makensis; see
; scripts/package-windows.sh, which gives PKG, VERSION and OUTFILE).
; Needs no administrator: everything goes to the user's own programs folder
; and the user's part of the registry. A silent install
; (setup.exe /S /D=C:\folder) takes the defaults.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define APP "VORNIX7_Logger"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define DEFAULT_URL "http://192.168.1.100/"

Name "VORNIX7 Logger ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

Var DeviceUrl
Var LogFile
Var UrlField
Var LogField

!define MUI_ICON "${PKG}/VORNIX7_Logger.ico"
!define MUI_UNICON "${PKG}/VORNIX7_Logger.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
Page custom SettingsPage SettingsLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\VORNIX7_Logger.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The answers start from the settings file of an earlier install, if any.
Function ReadEarlierSettings
  StrCpy $DeviceUrl "${DEFAULT_URL}"
  StrCpy $LogFile "$DOCUMENTS\VORNIX7_logfile.txt"
  ${If} ${FileExists} "$INSTDIR\${APP}.ini"
    ReadINIStr $0 "$INSTDIR\${APP}.ini" "VORNIX7" "URL"
    ${If} $0 != ""
      StrCpy $DeviceUrl $0
    ${EndIf}
    ReadINIStr $0 "$INSTDIR\${APP}.ini" "VORNIX7" "LogfileName"
    ${If} $0 != ""
      StrCpy $LogFile $0
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInit
  SetShellVarContext current
  Call ReadEarlierSettings
FunctionEnd

Function DirectoryLeave
  Call ReadEarlierSettings
FunctionEnd

Function SettingsPage
  !insertmacro MUI_HEADER_TEXT "Device and log file" "Where the logger polls and where it writes."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 12u "The device's status page (plain http://):"
  Pop $0
  ${NSD_CreateText} 0 14u 100% 12u "$DeviceUrl"
  Pop $UrlField
  ${NSD_CreateLabel} 0 36u 100% 12u "The log file (its folder is made if missing):"
  Pop $0
  ${NSD_CreateText} 0 50u 80% 12u "$LogFile"
  Pop $LogField
  ${NSD_CreateBrowseButton} 82% 49u 18% 14u "Browse..."
  Pop $0
  ${NSD_OnClick} $0 BrowseLog
  ${NSD_CreateLabel} 0 74u 100% 36u "Both are written to ${APP}.ini in the program's folder; edit it there later and start the logger again."
  Pop $0
  nsDialogs::Show
FunctionEnd

Function BrowseLog
  ${NSD_GetText} $LogField $0
  nsDialogs::SelectFileDialog save $0 "Text files (*.txt)|*.txt|All files|*.*"
  Pop $0
  ${If} $0 != ""
    ${NSD_SetText} $LogField $0
  ${EndIf}
FunctionEnd

Function SettingsLeave
  ${NSD_GetText} $UrlField $DeviceUrl
  ${NSD_GetText} $LogField $LogFile
  StrCpy $0 $DeviceUrl 7
  ${If} $0 != "http://"
    MessageBox MB_ICONEXCLAMATION|MB_OK "The device's address must start with http:// (the device serves plain HTTP)."
    Abort
  ${EndIf}
  ${If} $LogFile == ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "Please name a log file."
    Abort
  ${EndIf}
FunctionEnd

Section "VORNIX7 Logger" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  !include "${PKG}/install_files.nsh"
  ; The example settings only when there are none yet: an update keeps the
  ; user's other settings; the answers are written over it below.
  SetOverwrite off
  File "/oname=${APP}.ini" "${PKG}/VORNIX7_Logger.example.ini"
  SetOverwrite on
  WriteINIStr "$INSTDIR\${APP}.ini" "VORNIX7" "URL" "$DeviceUrl"
  WriteINIStr "$INSTDIR\${APP}.ini" "VORNIX7" "LogfileName" "$LogFile"
  FlushINI "$INSTDIR\${APP}.ini"
  ${GetParent} "$LogFile" $0
  ${If} $0 != ""
    CreateDirectory "$0"
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\VORNIX7 Logger.lnk" "$INSTDIR\VORNIX7_Logger.exe" "" "$INSTDIR\VORNIX7_Logger.exe" 0 SW_SHOWNORMAL "" "VORNIX7 Logger"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "VORNIX7 Logger"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VORNIX7_Logger.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Off unless chosen. The window then starts minimized (StartMinimized=1),
; from the Start menu too.
Section /o "Start with Windows (minimized)" SecAutostart
  CreateShortcut "$SMSTARTUP\VORNIX7 Logger.lnk" "$INSTDIR\VORNIX7_Logger.exe" "" "$INSTDIR\VORNIX7_Logger.exe" 0 SW_SHOWMINIMIZED
  WriteINIStr "$INSTDIR\${APP}.ini" "Settings" "StartMinimized" "1"
  FlushINI "$INSTDIR\${APP}.ini"
SectionEnd

; The program's files, its settings and its entries go; the log stays,
; wherever it is (also inside the program's folder, which then stays too).
Section "Uninstall"
  SetShellVarContext current
  !include "${PKG}/uninstall_files.nsh"
  Delete "$INSTDIR\${APP}.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\VORNIX7 Logger.lnk"
  Delete "$SMSTARTUP\VORNIX7 Logger.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
