; Demo setup program the bootstrapper downloads and runs in the demo release.
;   makensis -DVERSION=1.4.2 -DOUTFILE=<path> demo_setup.nsi
; Installs silently, for the current user only, into %LOCALAPPDATA%\Vantrel.
Unicode true
Target amd64-unicode
SilentInstall silent
SilentUnInstall silent
RequestExecutionLevel user

!ifndef VERSION
  !error "pass -DVERSION=x.y.z"
!endif
!ifndef OUTFILE
  !error "pass -DOUTFILE=<path>"
!endif

!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel"

Name "Vantrel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Vantrel"

Section
  ; The demo shows how the bootstrapper started us, so record the parameters.
  ${GetParameters} $1
  SetOutPath "$INSTDIR"
  FileOpen $0 "$INSTDIR\README.txt" w
  FileWrite $0 "This is the Vantrel demo build, version ${VERSION}.$\r$\n"
  FileWrite $0 "It was installed by the Vantrel demo setup for the current user.$\r$\n"
  FileWrite $0 "Setup parameters: $1$\r$\n"
  FileClose $0
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Vantrel (demo)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  SetErrorLevel 0
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
