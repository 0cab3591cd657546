; The per-user installer of the Orlix plug-in, built by scripts/package.sh:
;   makensis -DVERSION=x.y.z.w -DSTAGE=<staged files> -DOUTFILE=<setup.exe> [-DSIGN=<command>] orlix.nsi
; Exit codes (README, "Install on Windows"): 0 installed, 1 cancelled by the
; user, 2 failed otherwise, 3 a program file is in use, 4 bad arguments.
Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "VERSION, STAGE and OUTFILE must be defined"
!endif
!ifndef STAGE
  !error "VERSION, STAGE and OUTFILE must be defined"
!endif
!ifndef OUTFILE
  !error "VERSION, STAGE and OUTFILE must be defined"
!endif

!define PRODUCT "Orlix for TheBAT!"
!define PUBLISHER "Orlix plug-in project"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlix"
; The plug-in's own settings key and the value names it reads.
!define SETTINGS_KEY "Software\Kelvane\Orlix for TheBAT!"
!define LOG_NAME "orxbat!.log"
!define EXIT_CANCELLED 1
!define EXIT_IN_USE 3
!define EXIT_BAD_ARGUMENTS 4

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WordFunc.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Orlix"
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!ifdef SIGN
  !finalize '${SIGN} "%1"'
  !uninstfinalize '${SIGN} "%1"'
!endif

Var Engine          ; reference, clamav-db or clamd
Var OldEngine       ; the choice of the installation found, if any
Var Servers         ; the clamd servers, comma-separated
Var OldServers      ; those of the clamd.vdb found, to leave it alone when unchanged
Var ClamDb          ; the folder of ClamAV's databases
Var OldClamDb       ; that of the clamav.vdb found, to leave it alone when unchanged
Var RadioReference
Var RadioClamDb
Var RadioClamd
Var ClamDbEdit
Var BrowseButton
Var ServersEdit
Var TestButton
Var TestAnswer
Var Purge
Var PurgeBox

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs the Orlix anti-virus plug-in for TheBAT! for you alone: no administrator rights are needed.$\r$\n$\r$\nAn installation found in the chosen folder is upgraded in place; your settings, report log and added base files are kept.$\r$\n$\r$\nClose TheBAT! before you continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom EnginePage EnginePageLeave
!insertmacro MUI_PAGE_INSTFILES
; The details stay up: they say which files were replaced or kept.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_FINISHPAGE_TITLE "Add orlix.bav in TheBAT!"
!define MUI_FINISHPAGE_TEXT "The plug-in is installed. In TheBAT!, open the anti-virus plug-in settings, add this file and enable it:$\r$\n$\r$\n$INSTDIR\orlix.bav$\r$\n$\r$\nIts settings and report log need no setup first; its own setup sheet changes them."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the folder that holds orlix.bav"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenInstallFolder
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.PurgePage un.PurgePageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Every file the installer replaces; none may be held before one is replaced.
!macro CheckFree FILE
  ${If} ${FileExists} "${FILE}"
    ClearErrors
    FileOpen $0 "${FILE}" a
    ${If} ${Errors}
      StrCpy $R9 "${FILE}"
      Goto held
    ${EndIf}
    FileClose $0
  ${EndIf}
!macroend

; The files both replace or remove, but for the uninstaller itself.
!macro CheckProgramFiles
  !insertmacro CheckFree "$INSTDIR\orlix.bav"
  !insertmacro CheckFree "$INSTDIR\engine\orlix32.dll"
  !insertmacro CheckFree "$INSTDIR\bavhost.exe"
  !insertmacro CheckFree "$INSTDIR\README.txt"
  !insertmacro CheckFree "$INSTDIR\LICENSE.txt"
  !insertmacro CheckFree "$INSTDIR\engine\default.vdb"
  !insertmacro CheckFree "$INSTDIR\engine\clamd.vdb"
  !insertmacro CheckFree "$INSTDIR\engine\clamav.vdb"
!macroend
; $R9: the first program file another process holds, or empty.
Function FindHeldFile
  StrCpy $R9 ""
  !insertmacro CheckProgramFiles
  !insertmacro CheckFree "$INSTDIR\uninstall.exe"
  held:
FunctionEnd
; Not uninstall.exe: what holds it is this uninstaller, running in place
; (_?=), or the copy that started this one and is ending; the mail client
; never does. Run in place, it stays behind (README).
Function un.FindHeldFile
  StrCpy $R9 ""
  !insertmacro CheckProgramFiles
  held:
FunctionEnd

; Asks Retry/Cancel while a file is held; Cancel (and silent mode) ends
; with EXIT_IN_USE before anything changed.
!macro WaitForFreeFilesBody PREFIX
  ${Do}
    Call ${PREFIX}FindHeldFile
    ${If} $R9 == ""
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R9 is in use, probably by TheBAT!.$\r$\n$\r$\nClose TheBAT! and choose Retry, or Cancel to leave the installed version as it is." /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${EXIT_IN_USE}
    Quit
    retry:
  ${Loop}
!macroend
Function WaitForFreeFiles
  !insertmacro WaitForFreeFilesBody ""
FunctionEnd
Function un.WaitForFreeFiles
  !insertmacro WaitForFreeFilesBody "un."
FunctionEnd

Function BadArguments
  Exch $0
  MessageBox MB_OK|MB_ICONSTOP "$0" /SD IDOK
  SetErrorLevel ${EXIT_BAD_ARGUMENTS}
  Quit
FunctionEnd

Function .onInit
  SetShellVarContext current
  InitPluginsDir
  File "/oname=$PLUGINSDIR\orlixinst.exe" "${STAGE}\orlixinst.exe"
  ; NSIS has taken /D= off the command line already.
  ${GetParameters} $R0
  ; It answers the /CLAMDB= folder, parsed as it checked it.
  nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" options $R0'
  Pop $0
  Pop $ClamDb
  ${If} $0 != 0
    Push "$ClamDb"
    Call BadArguments
  ${EndIf}
  ; NSIS silently ignores a /D= folder it cannot use; the raw command line still has it.
  System::Call 'kernel32::GetCommandLineW() t .r0'
  ClearErrors
  ${WordFindS} "$0" " /D=" "E+1}" $1
  ${IfNot} ${Errors}
    StrCpy $2 $1 2 1
    StrCpy $3 $1 2
    ${If} $2 != ":\"
    ${AndIf} $3 != "\\"
      Push "The installation folder must be a full path, such as C:\Orlix, not $\"$1$\"."
      Call BadArguments
    ${EndIf}
  ${EndIf}

  ; The engine: the option, else the one installed before, else the reference engine.
  ReadRegStr $OldEngine HKCU "${UNINST_KEY}" "Engine"
  ${If} $OldEngine == ""
  ${AndIf} ${FileExists} "$INSTDIR\engine\clamav.vdb"
    StrCpy $OldEngine "clamav-db"
  ${EndIf}
  StrCpy $Engine $OldEngine
  ClearErrors
  ${GetOptions} $R0 "/ENGINE=" $0
  ${IfNot} ${Errors}
    StrCpy $Engine $0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SERVERS=" $Servers
  ${IfNot} ${Errors}
  ${AndIf} $Engine != "reference"
  ${AndIf} $Engine != "clamav-db"
    StrCpy $Engine "clamd"
  ${EndIf}
  ${If} $ClamDb != ""
  ${AndIf} $Engine != "reference"
  ${AndIf} $Engine != "clamd"
    StrCpy $Engine "clamav-db"
  ${EndIf}
  ; In the case the script compares and stores.
  ${If} $Engine == "clamd"
    StrCpy $Engine "clamd"
  ${ElseIf} $Engine == "clamav-db"
    StrCpy $Engine "clamav-db"
  ${Else}
    StrCpy $Engine "reference"
  ${EndIf}

  ${If} ${Silent}
    Call WaitForFreeFiles
  ${EndIf}
FunctionEnd

; The servers of the installation's clamd.vdb, else the local default.
Function ReadOldServers
  StrCpy $OldServers ""
  ${If} ${FileExists} "$INSTDIR\engine\clamd.vdb"
    nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" servers-of "$INSTDIR\engine\clamd.vdb"'
    Pop $0
    Pop $1
    ${If} $0 == 0
      StrCpy $OldServers $1
    ${EndIf}
  ${EndIf}
FunctionEnd

; The folder of the installation's clamav.vdb, else empty.
Function ReadOldClamDb
  StrCpy $OldClamDb ""
  ${If} ${FileExists} "$INSTDIR\engine\clamav.vdb"
    nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" clamdb-of "$INSTDIR\engine\clamav.vdb"'
    Pop $0
    Pop $1
    ${If} $0 == 0
      StrCpy $OldClamDb $1
    ${EndIf}
  ${EndIf}
FunctionEnd

; $ClamDb, when not given: the old folder, else where ClamAV for Windows
; looks first (its DataDir registry value), else its default, the
; "database" folder of its installation.
Function ChooseClamDb
  ${If} $ClamDb == ""
    StrCpy $ClamDb $OldClamDb
  ${EndIf}
  ${If} $ClamDb == ""
    SetRegView 64
    ReadRegStr $ClamDb HKLM "Software\ClamAV" "DataDir"
    SetRegView lastused
  ${EndIf}
  ${If} $ClamDb == ""
    ReadRegStr $ClamDb HKLM "Software\ClamAV" "DataDir"
  ${EndIf}
  ${If} $ClamDb == ""
    StrCpy $ClamDb "$PROGRAMFILES64\ClamAV\database"
  ${EndIf}
FunctionEnd

Function EnginePage
  Call ReadOldServers
  ${If} $Servers == ""
    StrCpy $Servers $OldServers
  ${EndIf}
  ${If} $Servers == ""
    StrCpy $Servers "127.0.0.1:3310"
  ${EndIf}
  Call ReadOldClamDb
  Call ChooseClamDb
  !insertmacro MUI_HEADER_TEXT "Engine" "Choose what checks your attachments."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 10u "&Reference engine with its default virus bases"
  Pop $RadioReference
  ${NSD_CreateLabel} 12u 11u -12u 10u "Checks here with the Orlix bases and the base files you add to its folder."
  Pop $0
  ${NSD_CreateRadioButton} 0 24u 100% 10u "ClamAV's signature &database, no server"
  Pop $RadioClamDb
  ${NSD_CreateLabel} 12u 35u -12u 10u "The reference engine with ClamAV's databases in this &folder:"
  Pop $0
  ${NSD_CreateText} 12u 46u -60u 12u "$ClamDb"
  Pop $ClamDbEdit
  ${NSD_CreateButton} -44u 45u 44u 14u "Bro&wse..."
  Pop $BrowseButton
  ${NSD_OnClick} $BrowseButton BrowseClamDb
  ${NSD_CreateRadioButton} 0 64u 100% 10u "&ClamAV's clamd server (the clamd bridge)"
  Pop $RadioClamd
  ${NSD_CreateLabel} 12u 75u -12u 10u "&Servers, HOST:PORT, tried in this order (separate them with commas):"
  Pop $0
  ${NSD_CreateText} 12u 86u -60u 12u "$Servers"
  Pop $ServersEdit
  ${NSD_CreateButton} -44u 85u 44u 14u "&Test"
  Pop $TestButton
  ${NSD_OnClick} $TestButton TestServers
  ${NSD_CreateLabel} 12u 101u -12u 22u ""
  Pop $TestAnswer
  ${NSD_CreateLabel} 12u 123u -12u 17u "clamd's protocol is not encrypted: use a clamd on this computer or on a network you trust."
  Pop $0
  ${NSD_OnClick} $RadioReference EngineChanged
  ${NSD_OnClick} $RadioClamDb EngineChanged
  ${NSD_OnClick} $RadioClamd EngineChanged
  ${If} $Engine == "clamd"
    ${NSD_Check} $RadioClamd
  ${ElseIf} $Engine == "clamav-db"
    ${NSD_Check} $RadioClamDb
  ${Else}
    ${NSD_Check} $RadioReference
  ${EndIf}
  Call EngineChanged
  nsDialogs::Show
FunctionEnd

Function EngineChanged
  Pop $0
  ${NSD_GetState} $RadioClamd $0
  ${If} $0 == ${BST_CHECKED}
    EnableWindow $ServersEdit 1
    EnableWindow $TestButton 1
  ${Else}
    EnableWindow $ServersEdit 0
    EnableWindow $TestButton 0
  ${EndIf}
  ${NSD_GetState} $RadioClamDb $0
  ${If} $0 == ${BST_CHECKED}
    EnableWindow $ClamDbEdit 1
    EnableWindow $BrowseButton 1
  ${Else}
    EnableWindow $ClamDbEdit 0
    EnableWindow $BrowseButton 0
  ${EndIf}
FunctionEnd

Function BrowseClamDb
  Pop $0
  ${NSD_GetText} $ClamDbEdit $1
  nsDialogs::SelectFolderDialog "The folder of ClamAV's databases (main.cvd, daily.cvd...):" "$1"
  Pop $0
  ${If} $0 != "error"
    ${NSD_SetText} $ClamDbEdit "$0"
  ${EndIf}
FunctionEnd

; Whether $ClamDb holds a database the engine loads from a folder.
!macro IfClamDatabases THEN
  ${If} ${FileExists} "$ClamDb\*.cvd"
  ${OrIf} ${FileExists} "$ClamDb\*.cld"
  ${OrIf} ${FileExists} "$ClamDb\local.*"
    Goto ${THEN}
  ${EndIf}
!macroend

Function TestServers
  Pop $0
  ${NSD_GetText} $ServersEdit $1
  ${NSD_SetText} $TestAnswer "Asking..."
  nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" ping "$1"'
  Pop $0
  Pop $1
  ${NSD_SetText} $TestAnswer "$1"
FunctionEnd

Function EnginePageLeave
  ${NSD_GetState} $RadioClamDb $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Engine "clamav-db"
    ; Passed unquoted: the helper takes the rest of its command line as it is.
    ${NSD_GetText} $ClamDbEdit $1
    nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" clamdb-folder $1'
    Pop $0
    Pop $2
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONEXCLAMATION "$2"
      Abort
    ${EndIf}
    StrCpy $ClamDb $2
    ${NSD_SetText} $ClamDbEdit "$ClamDb"
    !insertmacro IfClamDatabases found
    MessageBox MB_YESNO|MB_ICONQUESTION "$ClamDb holds no ClamAV database yet (main.cvd, daily.cvd or local databases). Until ClamAV's freshclam puts them there, the plug-in reports that it has no virus bases.$\r$\n$\r$\nInstall with this folder anyway?" IDYES found
    Abort
    found:
  ${EndIf}
  ${NSD_GetState} $RadioClamd $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Engine "clamd"
    ${NSD_GetText} $ServersEdit $1
    nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" servers "$1"'
    Pop $0
    Pop $2
    ${If} $0 != 0
      MessageBox MB_OK|MB_ICONEXCLAMATION "$2"
      Abort
    ${EndIf}
    StrCpy $Servers $2
  ${EndIf}
  ${NSD_GetState} $RadioReference $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Engine "reference"
  ${EndIf}
  Call WaitForFreeFiles
FunctionEnd

; The clamav.vdb this installer wrote, when leaving that choice; one the
; user put beside another engine is a base file of theirs.
Function RemoveClamDbVdb
  ${If} $OldEngine == "clamav-db"
    Delete "$INSTDIR\engine\clamav.vdb"
  ${EndIf}
FunctionEnd

Function OpenInstallFolder
  ExecShell "open" "$INSTDIR"
FunctionEnd

; OrlixPath is written on a first installation, and on an upgrade only while
; it still holds what this installer wrote: a folder the user chose stays.
Function WriteSettings
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "OrlixPath"
  ReadRegStr $1 HKCU "${UNINST_KEY}" "WrittenOrlixPath"
  ReadRegStr $2 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $2 == ""
  ${OrIf} $0 == ""
  ${OrIf} $0 == $1
    WriteRegStr HKCU "${SETTINGS_KEY}" "OrlixPath" "$INSTDIR\engine"
    WriteRegStr HKCU "${UNINST_KEY}" "WrittenOrlixPath" "$INSTDIR\engine"
  ${Else}
    DetailPrint "Kept your engine folder setting: $0"
  ${EndIf}
FunctionEnd

Section "Orlix" SecMain
  SetOutPath "$INSTDIR"
  File "${STAGE}\orlix.bav"
  File "${STAGE}\bavhost.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  SetOutPath "$INSTDIR\engine"
  ${If} $Engine == "clamd"
    File "/oname=orlix32.dll" "${STAGE}\clamd\orlix32.dll"
    ; The bridge reads every base file as its configuration.
    Delete "$INSTDIR\engine\default.vdb"
    Call ReadOldServers
    ${If} $Servers == ""
      StrCpy $Servers $OldServers
    ${EndIf}
    ${If} $Servers == ""
      StrCpy $Servers "127.0.0.1:3310"
    ${EndIf}
    ${If} $Servers != $OldServers
      nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" write-vdb "$INSTDIR\engine\clamd.vdb" "$Servers"'
      Pop $0
      Pop $1
      ${If} $0 != 0
        DetailPrint "$1"
        SetErrorLevel 2
        Abort "clamd.vdb could not be written."
      ${EndIf}
    ${EndIf}
    Call RemoveClamDbVdb
  ${ElseIf} $Engine == "clamav-db"
    File "/oname=orlix32.dll" "${STAGE}\reference\orlix32.dll"
    ; Only ClamAV's databases: Orlix's own would answer for them with other names.
    Delete "$INSTDIR\engine\default.vdb"
    Delete "$INSTDIR\engine\clamd.vdb"
    Call ReadOldClamDb
    Call ChooseClamDb
    ${If} $ClamDb != $OldClamDb
      nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" write-clamdb "$INSTDIR\engine\clamav.vdb" $ClamDb'
      Pop $0
      Pop $1
      ${If} $0 != 0
        DetailPrint "$1"
        SetErrorLevel 2
        Abort "clamav.vdb could not be written."
      ${EndIf}
      nsExec::ExecToStack '"$PLUGINSDIR\orlixinst.exe" clamdb-of "$INSTDIR\engine\clamav.vdb"'
      Pop $0
      Pop $ClamDb
    ${Else}
      DetailPrint "Kept clamav.vdb: it names $ClamDb already"
    ${EndIf}
    !insertmacro IfClamDatabases databases
    DetailPrint "$ClamDb holds no ClamAV database yet: run ClamAV's freshclam."
    databases:
  ${Else}
    File "/oname=orlix32.dll" "${STAGE}\reference\orlix32.dll"
    File "${STAGE}\reference\default.vdb"
    Delete "$INSTDIR\engine\clamd.vdb"
    Call RemoveClamDbVdb
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  Call WriteSettings
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKCU "${UNINST_KEY}" "Engine" "$Engine"
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; The uninstaller takes /S and /PURGE (NSIS takes _?= itself).
Function un.onInit
  SetShellVarContext current
  StrCpy $Purge 0
  ${un.GetParameters} $R0
  ${Do}
    ; The next word of $R0 into $R1.
    ${Do}
      StrCpy $0 $R0 1
      ${If} $0 != " "
        ${Break}
      ${EndIf}
      StrCpy $R0 $R0 "" 1
    ${Loop}
    ${If} $R0 == ""
      ${Break}
    ${EndIf}
    StrCpy $R1 ""
    ${Do}
      StrCpy $0 $R0 1
      ${If} $0 == " "
      ${OrIf} $0 == ""
        ${Break}
      ${EndIf}
      StrCpy $R1 "$R1$0"
      StrCpy $R0 $R0 "" 1
    ${Loop}
    ${If} $R1 == "/PURGE"
      StrCpy $Purge 1
    ${ElseIf} $R1 != "/S"
      Push "Unknown option $\"$R1$\". Options: /S /PURGE"
      Call un.BadArguments
    ${EndIf}
  ${Loop}
  ${If} ${Silent}
    Call un.WaitForFreeFiles
  ${EndIf}
FunctionEnd

Function un.BadArguments
  Exch $0
  MessageBox MB_OK|MB_ICONSTOP "$0" /SD IDOK
  SetErrorLevel ${EXIT_BAD_ARGUMENTS}
  Quit
FunctionEnd

Function un.PurgePage
  !insertmacro MUI_HEADER_TEXT "Uninstall ${PRODUCT}" "Remove the plug-in from this computer."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 30u "The plug-in, its engine and bavhost are removed from:$\r$\n$INSTDIR$\r$\nRemove orlix.bav from TheBAT!'s anti-virus plug-ins first."
  Pop $0
  ${NSD_CreateLabel} 0 36u 100% 20u "Your settings, the report log and base files you added stay unless you tick the box."
  Pop $0
  ${NSD_CreateCheckbox} 0 60u 100% 12u "Also remove my &settings and report log"
  Pop $PurgeBox
  ${If} $Purge == 1
    ${NSD_Check} $PurgeBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.PurgePageLeave
  ${NSD_GetState} $PurgeBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Purge 1
  ${Else}
    StrCpy $Purge 0
  ${EndIf}
  Call un.WaitForFreeFiles
FunctionEnd

Section "Uninstall"
  ReadRegStr $0 HKCU "${UNINST_KEY}" "Engine"
  ${If} $0 == "clamav-db"
    Delete "$INSTDIR\engine\clamav.vdb"
  ${EndIf}
  Delete "$INSTDIR\orlix.bav"
  Delete "$INSTDIR\bavhost.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\engine\orlix32.dll"
  Delete "$INSTDIR\engine\default.vdb"
  Delete "$INSTDIR\engine\clamd.vdb"
  Delete "$INSTDIR\uninstall.exe"
  ${If} $Purge == 1
    ; A log moved elsewhere on the advanced page goes too.
    ReadRegDWORD $0 HKCU "${SETTINGS_KEY}" "ShowAdvanced"
    ReadRegStr $1 HKCU "${SETTINGS_KEY}" "LogPath"
    ${If} $0 == 1
    ${AndIf} $1 != ""
      Delete "$1\${LOG_NAME}"
    ${EndIf}
    Delete "$INSTDIR\engine\${LOG_NAME}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Kelvane"
  ${EndIf}
  RMDir "$INSTDIR\engine"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd
