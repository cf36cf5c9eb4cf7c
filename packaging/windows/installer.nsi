; The per-user installer of the VORNIX7 logger (makensis; see
; packaging/windows/package.sh, which gives PKG, VERSION and OUTFILE, and
; HAVE_X86_64 and HAVE_I686 for the programs it holds). A 32-bit installer,
; so it runs on every Windows: it installs the 64-bit programs on 64-bit
; Windows and the 32-bit ones on 32-bit Windows.
; Needs no administrator: everything goes to the user's own programs folder
; and the user's part of the registry. A silent install
; (setup.exe /S /D=C:\folder) takes the defaults, or the answers of an
; earlier install there; /AUTOSTART before /D ticks "Start with Windows".
; Each install folder is a logger of its own (a lab with two devices installs
; twice): the default folder's entries are plain "VORNIX7 Logger", any other
; folder's name it ("VORNIX7 Logger (C-Lab-North)" in the Start menu,
; "VORNIX7 Logger (C:\Lab\North)" among the installed programs).

Unicode true
Target x86-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh

!define APP "VORNIX7_Logger"
!define UNINSTALL_ROOT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define UNINSTALL_KEY "${UNINSTALL_ROOT}\${APP}"
!define DEFAULT_URL "http://192.168.1.100/"

Name "VORNIX7 Logger ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

Var DeviceUrl
Var LogFile
Var Arch         ; x86_64 or i686: which programs go in
Var EntryKey     ; the uninstall entry's key, under UNINSTALL_ROOT
Var EntryName    ; the Start-menu and Startup shortcuts' name
Var EntryDisplay ; the name among the installed programs
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

; The names of this install folder's entries. Only the default folder has
; the plain ones, as earlier installs made them; another folder's path goes
; into its names ("\" as "/" in the key, as "-" in the file name).
!macro EntryNamesFunction UN
Function ${UN}EntryNames
  StrCpy $EntryKey "${APP}"
  StrCpy $EntryName "VORNIX7 Logger"
  StrCpy $EntryDisplay "VORNIX7 Logger"
  ${If} $INSTDIR != "$LOCALAPPDATA\Programs\${APP}"
    StrCpy $R0 0
    StrCpy $R1 ""
    StrCpy $R2 ""
    ${Do}
      StrCpy $R3 $INSTDIR 1 $R0
      ${If} $R3 == ""
        ${Break}
      ${ElseIf} $R3 == "\"
        StrCpy $R1 "$R1/"
        StrCpy $R2 "$R2-"
      ${ElseIf} $R3 == ":"
        StrCpy $R1 "$R1:"
      ${Else}
        StrCpy $R1 "$R1$R3"
        StrCpy $R2 "$R2$R3"
      ${EndIf}
      IntOp $R0 $R0 + 1
    ${Loop}
    StrCpy $EntryKey "${APP} $R1"
    StrCpy $EntryName "VORNIX7 Logger ($R2)"
    StrCpy $EntryDisplay "VORNIX7 Logger ($INSTDIR)"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro EntryNamesFunction ""
!insertmacro EntryNamesFunction "un."

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
  Call EntryNames
  SetOutPath "$INSTDIR"
  ${If} $Arch == "x86_64"
    !ifdef HAVE_X86_64
      !include "${PKG}/install_files_x86_64.nsh"
    !endif
  ${Else}
    !ifdef HAVE_I686
      !include "${PKG}/install_files_i686.nsh"
    !endif
  ${EndIf}
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

  ; An update of a folder that an earlier installer gave the plain entries:
  ; they are this folder's, and its own names take their place.
  ${If} $EntryKey != "${APP}"
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
      DeleteRegKey HKCU "${UNINSTALL_KEY}"
      Delete "$SMPROGRAMS\VORNIX7 Logger.lnk"
      Delete "$SMSTARTUP\VORNIX7 Logger.lnk"
    ${EndIf}
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\$EntryName.lnk" "$INSTDIR\VORNIX7_Logger.exe" "" "$INSTDIR\VORNIX7_Logger.exe" 0 SW_SHOWNORMAL "" "$EntryDisplay"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  StrCpy $1 "${UNINSTALL_ROOT}\$EntryKey"
  WriteRegStr HKCU $1 "DisplayName" "$EntryDisplay"
  WriteRegStr HKCU $1 "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU $1 "DisplayIcon" "$INSTDIR\VORNIX7_Logger.exe"
  WriteRegStr HKCU $1 "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU $1 "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU $1 "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU $1 "NoModify" 1
  WriteRegDWORD HKCU $1 "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $2 $3
  WriteRegDWORD HKCU $1 "EstimatedSize" $0
SectionEnd

; Off unless chosen. The window then starts minimized (StartMinimized=1),
; from the Start menu too.
Section /o "Start with Windows (minimized)" SecAutostart
  CreateDirectory "$SMSTARTUP"
  CreateShortcut "$SMSTARTUP\$EntryName.lnk" "$INSTDIR\VORNIX7_Logger.exe" "" "$INSTDIR\VORNIX7_Logger.exe" 0 SW_SHOWMINIMIZED
  WriteINIStr "$INSTDIR\${APP}.ini" "Settings" "StartMinimized" "1"
  FlushINI "$INSTDIR\${APP}.ini"
SectionEnd

; The program's files, its settings and its entries go; the log stays,
; wherever it is (also inside the program's folder, which then stays too).
Section "Uninstall"
  SetShellVarContext current
  Call un.EntryNames
  !include "${PKG}/uninstall_files.nsh"
  Delete "$INSTDIR\${APP}.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\$EntryName.lnk"
  Delete "$SMSTARTUP\$EntryName.lnk"
  DeleteRegKey HKCU "${UNINSTALL_ROOT}\$EntryKey"
SectionEnd

; After the sections, whose names it uses.
Function .onInit
  SetShellVarContext current
  ; 64-bit programs where Windows can run them.
  StrCpy $Arch ""
  !ifdef HAVE_X86_64
    ${If} ${RunningX64}
      StrCpy $Arch "x86_64"
    ${EndIf}
  !endif
  !ifdef HAVE_I686
    ${If} $Arch == ""
      StrCpy $Arch "i686"
    ${EndIf}
  !endif
  ${If} $Arch == ""
    MessageBox MB_ICONSTOP|MB_OK "This installer holds the 64-bit programs only; this Windows is 32-bit." /SD IDOK
    Abort
  ${EndIf}
  Call ReadEarlierSettings
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
FunctionEnd
