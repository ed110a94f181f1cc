; The setup program: a per-machine install into the 32-bit Program Files,
; a Start Menu shortcut and an uninstaller registered with the system.
; Built by make-packages.sh from inside the staged folder (makensis -NOCD),
; which passes VERSION, SIZE_KB, OUTFILE and, when the packages are signed,
; SIGN (the command that signs a file in place); the staged folder holds
; files.nsh and unfiles.nsh, which install and remove exactly its files.
Unicode true
ManifestDPIAware true
; The program itself asks for administrator rights; so does its setup.
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define PRODUCT "Tallowmend"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallowmend"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; 32-bit program: the 32-bit Program Files on 64-bit Windows.
InstallDir "$PROGRAMFILES\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!ifdef SIGN
  ; The uninstaller is written at install time from the setup program; it
  ; is signed here, before it goes in.
  !uninstfinalize '${SIGN} "%1"' = 0
!endif

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT}"

!include "LogicLib.nsh"
!include "MUI2.nsh"
!define MUI_ICON "tallowmend.ico"
!define MUI_UNICON "tallowmend.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tallowmend.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The setup speaks the user's language where the program does.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "Japanese"

!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    IfSilent +2
      MessageBox MB_ICONSTOP "${PRODUCT}: administrator rights are needed."
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  ; Shortcuts for every user of the machine.
  SetShellVarContext all
!macroend

Function .onInit
  !insertmacro RequireAdmin
FunctionEnd

Function un.onInit
  !insertmacro RequireAdmin
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  !include "files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tallowmend.exe"

  ; Every value names something that exists, so the program's own scan of
  ; the uninstall entries finds nothing wrong with its own.
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\tallowmend.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Only what setup put there: the log, backups and rundll32 copies a user
  ; keeps beside the program stay, and with them the folder.
  !include "unfiles.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
