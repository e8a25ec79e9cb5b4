; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of the window and the batch (made by .github/workflows/windows.yml):
;   makensis -DVERSION=1.0.0 -DSOURCE=deploy -DOUTPUT=kestrix-setup.exe packaging/windows/kestrix.nsi
; SOURCE is the folder windeployqt made self-contained. Installs for all users into Program Files, with
; a Start menu entry and an uninstaller registered with Windows.
Unicode true
!include "MUI2.nsh"

Name "Kestrix ${VERSION}"
OutFile "${OUTPUT}"
InstallDir "$PROGRAMFILES64\Kestrix"
InstallDirRegKey HKLM "Software\Kestrix" "InstallDir"
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrix"

!insertmacro MUI_PAGE_LICENSE "..\..\LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

Section "Kestrix"
    SetOutPath "$INSTDIR"
    File /r "..\..\${SOURCE}\*.*"
    File /oname=LICENSE.txt "..\..\LICENSE"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\Kestrix.lnk" "$INSTDIR\kestrix.exe"
    WriteRegStr HKLM "Software\Kestrix" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestrix"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kestrix developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\Kestrix.lnk"
    RMDir /r "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Kestrix"
SectionEnd
