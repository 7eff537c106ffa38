; The Windows setup program: puts the programs and the host plug-in under Program Files, tells
; the host plug-in where the editor is (the registry value it reads, in the 64-bit view), adds a
; Start-menu entry and the .kvx association, and writes an uninstaller that takes all of it away.
; Both run silently with /S. Built on Linux by Debian's makensis:
;   makensis -DVERSION=6.0.0 -DBIN=build-win/bin -DOUT=Kinevista-Setup-6.0.0.exe kinevista.nsi
; A 64-bit setup program: it runs where the 64-bit programs run (no 32-bit Wine or WoW64 needed).
Target amd64-unicode
!include "LogicLib.nsh"

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef BIN
  !error "BIN (the folder of the Windows programs) is not defined"
!endif
!ifndef OUT
  !define OUT "Kinevista-Setup-${VERSION}.exe"
!endif

!define PLUGIN_KEY "SOFTWARE\Avid Technology\AVX Plug-ins"
!define EDITOR_VALUE "AVX2Directory"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kinevista"
!define SHOW_CLASS "Kinevista.Show"

Name "Kinevista ${VERSION}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\Kinevista"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Kinevista"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Kinevista setup"
VIAddVersionKey "LegalCopyright" "The Kinevista developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  ; The 64-bit registry view (the one the plug-in reads) and the machine-wide Start menu.
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Kinevista"
  SetOutPath "$INSTDIR"
  File "${BIN}\kinevista.exe"
  File "${BIN}\kinevista-cli.exe"
  File "${BIN}\kinevista-host.exe"
  File "${BIN}\Kinevista.avx"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The plug-in starts "<value>\Kinevista.exe".
  WriteRegStr HKLM "${PLUGIN_KEY}" "${EDITOR_VALUE}" "$INSTDIR"

  CreateShortCut "$SMPROGRAMS\Kinevista.lnk" "$INSTDIR\kinevista.exe"

  WriteRegStr HKLM "Software\Classes\.kvx" "" "${SHOW_CLASS}"
  WriteRegStr HKLM "Software\Classes\${SHOW_CLASS}" "" "Kinevista show"
  WriteRegStr HKLM "Software\Classes\${SHOW_CLASS}\DefaultIcon" "" "$INSTDIR\kinevista.exe,0"
  WriteRegStr HKLM "Software\Classes\${SHOW_CLASS}\shell\open\command" "" \
    '"$INSTDIR\kinevista.exe" "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kinevista"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kinevista developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\kinevista.exe"
  Delete "$INSTDIR\kinevista-cli.exe"
  Delete "$INSTDIR\kinevista-host.exe"
  Delete "$INSTDIR\Kinevista.avx"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Kinevista.lnk"

  ; The plug-ins' key is the host's: only our value goes, and the key only when left empty.
  DeleteRegValue HKLM "${PLUGIN_KEY}" "${EDITOR_VALUE}"
  DeleteRegKey /ifempty HKLM "${PLUGIN_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Avid Technology"
  ; The association goes only while it is still ours.
  ReadRegStr $0 HKLM "Software\Classes\.kvx" ""
  ${If} $0 == "${SHOW_CLASS}"
    DeleteRegKey HKLM "Software\Classes\.kvx"
  ${EndIf}
  DeleteRegKey HKLM "Software\Classes\${SHOW_CLASS}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
