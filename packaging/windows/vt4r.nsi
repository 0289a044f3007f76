; The Windows installer: makensis -DVERSION=x.y.z -DSTAGE=<folder> -DOUTFILE=<setup.exe> vt4r.nsi
; STAGE is what packaging/windows/stage.cmake prepares: the programs, README-windows.txt,
; LICENSE.txt, vt4r.ico and, when the build made them, the VST3 bundle (with vst3_files.nsh listing
; its files) and VT4R.clap.
;
; Per machine, 64-bit. The installer is itself a 64-bit program: 64-bit Windows runs it as is, and a
; Wine prefix without 32-bit support can run it too.
;
; Which components went in is recorded in the Add/Remove Programs key, and the uninstaller removes
; those files alone, then each folder only if nothing else is in it. Installing over an earlier
; install first runs that install's own uninstaller silently, so a component unticked this time
; leaves nothing behind, and the key stays a single entry. The user's settings
; (%LOCALAPPDATA%\VT4R\settings.ini) are never touched.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION
  !error "makensis -DVERSION=... -DSTAGE=... -DOUTFILE=..."
!endif

!define NAME "VT4R"
!define PUBLISHER "Marsolind"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VT4R"
!define UNINSTALLER "uninstall.exe"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
; A reinstall goes where the last install went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
BrandingText "${PUBLISHER} ${NAME} ${VERSION}"
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}, GPL-3.0-or-later"

!define MUI_ICON "${STAGE}/vt4r.ico"
!define MUI_UNICON "${STAGE}/vt4r.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "-previous install"
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\${UNINSTALLER}"
    DetailPrint "Removing the VT4R installed in $0"
    ; _?= runs it in place and waits for it; it keeps the settings, as always.
    ExecWait '"$0\${UNINSTALLER}" /S _?=$0' $1
    ${If} $1 != 0
      Abort "The VT4R installed in $0 could not be removed (its uninstaller answered $1)."
    ${EndIf}
    Delete "$0\${UNINSTALLER}"
    RMDir "$0"
  ${EndIf}
  ; A record left by an install whose folder is gone is replaced below.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; From here the error flag counts the files that could not be written.
  ClearErrors
SectionEnd

Section "VT4R application and tools" SecApp
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}/vt4r.exe"
  File "${STAGE}/vt4r-render.exe"
  File "${STAGE}/vt4r-snapshot.exe"
  File "${STAGE}/vt4r-demo-signal.exe"
  File "${STAGE}/vt4r.ico"
  File "${STAGE}/README-windows.txt"
  File "${STAGE}/LICENSE.txt"
  CreateShortcut "$SMPROGRAMS\VT4R.lnk" "$INSTDIR\vt4r.exe" "" "$INSTDIR\vt4r.ico" 0
SectionEnd

!if /FileExists "${STAGE}/vst3_files.nsh"
Section "VST3 plug-in" SecVst3
  !define INSTALL_FILES
  !include "${STAGE}/vst3_files.nsh"
  !undef INSTALL_FILES
SectionEnd
!endif

!if /FileExists "${STAGE}/VT4R.clap"
Section "CLAP plug-in" SecClap
  SetOutPath "$COMMONFILES64\CLAP"
  File "${STAGE}/VT4R.clap"
SectionEnd
!endif

!macro RecordComponent SECTION VALUE
  ${If} ${SectionIsSelected} ${SECTION}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "${VALUE}" 1
    SectionGetSize ${SECTION} $1
    IntOp $0 $0 + $1
  ${EndIf}
!macroend

Section "-register"
  SetRegView 64
  ; A file skipped with Ignore (or in a silent install) leaves a mix of versions: say so, and fail.
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Some of VT4R's files could not be written. Close VT4R and any program using its plug-ins, then install again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  StrCpy $0 0
  !insertmacro RecordComponent ${SecApp} "VT4R_Application"
  !if /FileExists "${STAGE}/vst3_files.nsh"
    !insertmacro RecordComponent ${SecVst3} "VT4R_VST3"
  !endif
  !if /FileExists "${STAGE}/VT4R.clap"
    !insertmacro RecordComponent ${SecClap} "VT4R_CLAP"
  !endif
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER},0"
  ${If} ${SectionIsSelected} ${SecApp}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vt4r.ico"
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Kilobytes, as Add/Remove Programs counts them; the uninstaller's own is left out.
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function .onInit
  SetRegView 64
  ; A reinstall offers the components the last install chose; the first install offers all.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "VT4R_Application"
    ${If} $1 != 1
      !insertmacro UnselectSection ${SecApp}
    ${EndIf}
    !if /FileExists "${STAGE}/vst3_files.nsh"
      ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "VT4R_VST3"
      ${If} $1 != 1
        !insertmacro UnselectSection ${SecVst3}
      ${EndIf}
    !endif
    !if /FileExists "${STAGE}/VT4R.clap"
      ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "VT4R_CLAP"
      ${If} $1 != 1
        !insertmacro UnselectSection ${SecClap}
      ${EndIf}
    !endif
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  ReadRegDWORD $R0 HKLM "${UNINSTALL_KEY}" "VT4R_Application"
  ReadRegDWORD $R1 HKLM "${UNINSTALL_KEY}" "VT4R_VST3"
  ReadRegDWORD $R2 HKLM "${UNINSTALL_KEY}" "VT4R_CLAP"
  ; A file that cannot go (a running vt4r.exe, a host holding the plug-in) stops the uninstall with
  ; the record kept, so it can be run again; files already gone are no error.
  ClearErrors
  ${If} $R0 = 1
    Delete "$SMPROGRAMS\VT4R.lnk"
    Delete "$INSTDIR\vt4r.exe"
    Delete "$INSTDIR\vt4r-render.exe"
    Delete "$INSTDIR\vt4r-snapshot.exe"
    Delete "$INSTDIR\vt4r-demo-signal.exe"
    Delete "$INSTDIR\vt4r.ico"
    Delete "$INSTDIR\README-windows.txt"
    Delete "$INSTDIR\LICENSE.txt"
  ${EndIf}
  !if /FileExists "${STAGE}/vst3_files.nsh"
    ${If} $R1 = 1
      !define REMOVE_FILES
      !include "${STAGE}/vst3_files.nsh"
      !undef REMOVE_FILES
    ${EndIf}
  !endif
  !if /FileExists "${STAGE}/VT4R.clap"
    ${If} $R2 = 1
      Delete "$COMMONFILES64\CLAP\VT4R.clap"
    ${EndIf}
  !endif
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Some of VT4R's files could not be removed. Close VT4R and any program using its plug-ins, then uninstall again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  ; Folders go only when empty: whatever else is in them (other plug-ins, the user's files) stays.
  !if /FileExists "${STAGE}/vst3_files.nsh"
    ${If} $R1 = 1
      !define REMOVE_FOLDERS
      !include "${STAGE}/vst3_files.nsh"
      !undef REMOVE_FOLDERS
      RMDir "$COMMONFILES64\VST3"
    ${EndIf}
  !endif
  ${If} $R2 = 1
    RMDir "$COMMONFILES64\CLAP"
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
