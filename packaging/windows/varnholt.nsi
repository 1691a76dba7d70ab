; The game's installer for Windows: the shell, a Start-menu entry "Varnholt" that starts it in the
; player's cache directory, and an uninstaller that leaves that cache unless the player asks.
; Per user (no administrator needed) or per machine: chosen on a page, or by /CurrentUser or
; /AllUsers with /S.
; makensis -DSHELL_EXE=<gameshell.exe> -DVERSION=<x.y.z> -DOUTFILE=<setup.exe> varnholt.nsi
Unicode true
; A 64-bit installer for a 64-bit program (and Wine without its 32-bit half runs it).
Target amd64-unicode
SetCompressor /SOLID lzma

!define NAME "Varnholt"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${NAME}"
!define MULTIUSER_USE_PROGRAMFILES64
; The uninstaller removes what the installer put where it put it.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallMode"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh

Name "${NAME}"
OutFile "${OUTFILE}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${NAME} installer"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${NAME}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Varnholt"
  SetOutPath "$INSTDIR"
  File "/oname=gameshell.exe" "${SHELL_EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ; Started from the menu, the shell runs in the player's own cache directory
  ; (%LOCALAPPDATA%\Varnholt), whoever installed it.
  CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\gameshell.exe" "--in-player-cache --" \
    "$INSTDIR\gameshell.exe" 0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\gameshell.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallMode" "$MultiUser.InstallMode"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S /$MultiUser.InstallMode'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\gameshell.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; The game's files the player downloaded stay, for a later install, unless the player says.
  ; (Each user's own: only the uninstalling user's is offered.)
  SetShellVarContext current
  IfFileExists "$LOCALAPPDATA\${NAME}\*.*" 0 done
    MessageBox MB_YESNO|MB_DEFBUTTON2|MB_ICONQUESTION \
      "要同时删除已下载的游戏文件吗？$\r$\nAlso remove the game files downloaded so far?" \
      /SD IDNO IDNO done
    RMDir /r "$LOCALAPPDATA\${NAME}"
  done:
SectionEnd
