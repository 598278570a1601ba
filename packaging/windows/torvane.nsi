; Torvane's Windows installer: a 64-bit setup made with NSIS 3 (makensis).
; Built by packaging/windows/package.sh (./run package-windows), which passes
;   -DRESOURCES=<build>/windows-resources   (installer.nsh: version, publisher, icon)
;   -DSTAGE=<folder with what is installed>  (the stripped programs, guide, licence)
;   -DFILES=<files.nsh listing STAGE>        (one list for installing and removing)
;   -DOUTFILE=<setup .exe>
;   -DHAVE_GUI                               (when the window program torvane.exe is in STAGE)
;
; What it does:
;   - installs to $PROGRAMFILES64\Torvane for all users (asks for administrator rights);
;   - a Start-menu entry "Torvane" for the window program;
;   - the component "Add torvane-cli to PATH", not ticked by default; a silent
;     install adds it with /PATH (setup.exe /S /PATH). The entry is the install
;     folder, appended to the machine's Path (HKLM ...\Session Manager\Environment)
;     and removed again, leaving every other entry as it was;
;   - registers the uninstaller in Programs and Features; silent with /S.
; The uninstaller removes exactly the files the setup wrote and the Path entry,
; and leaves the user's settings (HKCU\Software\Oskel\Torvane) and run log
; (%LOCALAPPDATA%\Torvane\runs.jsonl) alone.
;
; Signing (a release step, with the company's code-signing certificate; see
; packaging/windows/README-signing.md): sign the programs in <build>/release
; before packaging, then the setup afterwards:
;   osslsigncode sign -pkcs12 company.p12 -readpass pass.txt -h sha256 \
;     -n Torvane -i https://example.org/torvane -t http://timestamp.digicert.com \
;     -in torvane-<version>-setup.exe -out signed/torvane-<version>-setup.exe
; The uninstaller is written by the setup itself; to sign it too, build with
; -DSIGN_UNINSTALLER="<command with %1 for the file>", which this script hands
; to !uninstfinalize.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true

!include ${RESOURCES}/installer.nsh
!include ${FILES}
!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Torvane"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!ifdef HAVE_GUI
  !define MAIN_PROGRAM "torvane.exe"
!else
  !define MAIN_PROGRAM "torvane-cli.exe"
!endif

Name "Torvane ${TORVANE_VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Torvane"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Torvane ${TORVANE_VERSION}"

VIProductVersion "${TORVANE_VERSION4}"
VIFileVersion "${TORVANE_VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "Torvane"
VIAddVersionKey /LANG=1033 "ProductVersion" "${TORVANE_VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${TORVANE_VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Torvane ${TORVANE_VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${TORVANE_PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${TORVANE_COPYRIGHT}"

!ifdef SIGN_UNINSTALLER
  !uninstfinalize '${SIGN_UNINSTALLER}'
!endif

!define MUI_ICON "${TORVANE_ICON}"
!define MUI_UNICON "${TORVANE_ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef HAVE_GUI
  !define MUI_FINISHPAGE_RUN "$INSTDIR\torvane.exe"
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; --- the install folder on the machine's Path ---------------------------------
; NSIS strings hold NSIS_MAX_STRLEN characters: a Path that does not fit is
; never read in part and written back, it is left as it is and the user told.

; Reads the machine's Path into $R0 and removes every entry naming the install
; folder (with or without a trailing backslash, in any case): the rest, each
; other entry and empty entry kept in order, goes into $R1; $R2 is 1 when an
; entry was removed, 0 when none was, "" when the Path could not be read whole.
!macro TORVANE_PATH_WITHOUT_OURS un
Function ${un}PathWithoutOurs
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $R1 ""
  StrCpy $R2 ""
  ClearErrors
  ReadRegStr $R0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${If} ${Errors}
    Goto done
  ${EndIf}
  StrLen $0 $R0
  IntOp $1 ${NSIS_MAX_STRLEN} - 1
  ${If} $0 >= $1
    Goto done
  ${EndIf}
  StrCpy $R2 0
  StrCpy $0 $R0  ; what is left to read
  StrCpy $1 1    ; 1 while an entry is left (a final ';' leaves an empty one)
  StrCpy $4 1    ; 1 until an entry is kept
  ${While} $1 == 1
    ; the next entry, up to a ';' or the end, into $3
    StrCpy $2 0
    ${Do}
      StrCpy $3 $0 1 $2
      ${If} $3 == ""
      ${OrIf} $3 == ";"
        ${Break}
      ${EndIf}
      IntOp $2 $2 + 1
    ${Loop}
    ${If} $3 == ""
      StrCpy $3 $0
      StrCpy $1 0
    ${Else}
      StrCpy $3 $0 $2
      IntOp $2 $2 + 1
      StrCpy $0 $0 "" $2
    ${EndIf}
    ${If} $3 == "$INSTDIR"
    ${OrIf} $3 == "$INSTDIR\"
      StrCpy $R2 1
    ${ElseIf} $4 == 1
      StrCpy $R1 $3
      StrCpy $4 0
    ${Else}
      StrCpy $R1 "$R1;$3"
    ${EndIf}
  ${EndWhile}
done:
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function ${un}PathRemoveOurs
  Call ${un}PathWithoutOurs
  ${If} $R2 == 1
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $R1
    DetailPrint "Removed $INSTDIR from the Path"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
  ${ElseIf} $R2 == ""
    DetailPrint "The Path could not be read whole: remove $INSTDIR from it by hand if it is there"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro TORVANE_PATH_WITHOUT_OURS ""
!insertmacro TORVANE_PATH_WITHOUT_OURS "un."

Function PathAddOurs
  Call PathWithoutOurs
  ${If} $R2 == 1
    DetailPrint "$INSTDIR is on the Path already"
    Return
  ${EndIf}
  StrLen $0 $R0
  StrLen $1 $INSTDIR
  IntOp $0 $0 + $1
  IntOp $0 $0 + 1
  ${If} $R2 == ""
  ${OrIf} $0 >= ${NSIS_MAX_STRLEN}
    DetailPrint "The Path is too long for this setup to change safely; it is left as it was"
    MessageBox MB_OK|MB_ICONEXCLAMATION "The Path is too long for this setup to change safely, so torvane-cli was not added to it.$\n$\nAdd $INSTDIR to the Path by hand, or call torvane-cli.exe with its full name." /SD IDOK
    Return
  ${EndIf}
  ${If} $R0 == ""
    StrCpy $R0 $INSTDIR
  ${ElseIf} $R0 == ";"
    StrCpy $R0 $INSTDIR
  ${Else}
    StrCpy $1 $R0 "" -1
    ${If} $1 == ";"
      StrCpy $R0 "$R0$INSTDIR"
    ${Else}
      StrCpy $R0 "$R0;$INSTDIR"
    ${EndIf}
  ${EndIf}
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $R0
  DetailPrint "Added $INSTDIR to the Path"
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
FunctionEnd

; --- installing --------------------------------------------------------------
Section "Torvane" SecProgram
  SectionIn RO
  !insertmacro TORVANE_INSTALL_FILES
  WriteUninstaller "$INSTDIR\uninstall.exe"
!ifdef HAVE_GUI
  CreateShortCut "$SMPROGRAMS\Torvane.lnk" "$INSTDIR\torvane.exe" "" "$INSTDIR\torvane.exe" 0 \
    SW_SHOWNORMAL "" "Update module firmware through the serial boot loader"
!endif

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Torvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${TORVANE_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${TORVANE_PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${MAIN_PROGRAM},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Add torvane-cli to PATH" SecPath
  Call PathAddOurs
SectionEnd

; A setup run again without the PATH component takes the folder off the Path:
; what is installed follows what was ticked.
Section "-Path as chosen"
  ${IfNot} ${SectionIsSelected} ${SecPath}
    Call PathRemoveOurs
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The updater, its guide and licence."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Puts the install folder on the Path, so torvane-cli runs from any command prompt."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Torvane needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  ; /PATH on the command line ticks the PATH component (for silent installs).
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; --- uninstalling --------------------------------------------------------------
Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Call un.PathRemoveOurs
!ifdef HAVE_GUI
  Delete "$SMPROGRAMS\Torvane.lnk"
!endif
  !insertmacro TORVANE_REMOVE_FILES
  Delete "$INSTDIR\uninstall.exe"
  ; Not /r: anything the user put in the folder stays, and the folder with it.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
