; The Windows installer: per user, without administrator rights, in Japanese.
;   makensis -DVERSION=3.01.4.22 -DSTAGE=<folder with Molvar3.exe and Molvar3.html>
;            -DICON=<app.ico> -DOUTFILE=<setup.exe> molvar.nsi
; A 64-bit installer for the 64-bit program (and Wine here runs only those).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define EXE "Molvar3.exe"
!define HELP "Molvar3.html"
; The program's single-instance mutex is named after its executable.
!define MUTEX "Molvar3"
!define SHORTCUT "Molvar (フォルダ監視).lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Molvar3"

Name "Molvar"
Caption "Molvar ${VERSION} セットアップ"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Molvar"
RequestExecutionLevel user
BrandingText "Molvar ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductName" "Molvar"
VIAddVersionKey /LANG=1041 "FileDescription" "Molvar セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "© 2026 Molvar developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; A running Molvar keeps its executable open: it is to be quit first. With
; /S nobody can be asked, and the setup ends with status 3 (NSIS's own are
; 1, cancelled, and 2, aborted).
!macro WAIT_FOR_NO_RUNNING_COPY un
Function ${un}WaitForNoRunningCopy
  retry:
    ; SYNCHRONIZE; a copy of higher rights denies the opening (5).
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${MUTEX}") p .r0 ?e'
    Pop $1
    ${If} $0 P= 0
    ${AndIf} $1 <> 5
      Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    ${If} ${Silent}
      SetErrorLevel 3
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Molvar が実行中です。$\r$\n通知領域の Molvar のアイコンを右クリックして「終了」を選び、[再試行] を押してください。" \
      IDRETRY retry
    Quit
FunctionEnd
!macroend
!insertmacro WAIT_FOR_NO_RUNNING_COPY ""
!insertmacro WAIT_FOR_NO_RUNNING_COPY "un."

Function .onInit
  Call WaitForNoRunningCopy
FunctionEnd

Function un.onInit
  Call un.WaitForNoRunningCopy
FunctionEnd

Section "Molvar"
  SetOutPath "$INSTDIR"
  File "${STAGE}/${EXE}"
  File "${STAGE}/${HELP}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Molvar (フォルダ監視)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "TORVEL"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The Startup folder's link, which the program makes when it is to start
; with Windows, goes only when it starts this copy: one that starts a copy
; elsewhere is the user's.
Function un.RemoveStartupLinkToUs
  StrCpy $3 ""
  ; IShellLinkW, and its IPersistFile to load the link with.
  System::Call 'ole32::CoCreateInstance(g "{00021401-0000-0000-C000-000000000046}", p 0, i 1, \
    g "{000214F9-0000-0000-C000-000000000046}", *p .r1) i .r0'
  ${If} $0 = 0
    System::Call '$1->0(g "{0000010B-0000-0000-C000-000000000046}", *p .r2) i .r0'
    ${If} $0 = 0
      System::Call '$2->5(w "$SMSTARTUP\Molvar.lnk", i 0) i .r0'
      ${If} $0 = 0
        System::Call '$1->3(w .r3, i ${NSIS_MAX_STRLEN}, p 0, i 0)'
      ${EndIf}
      System::Call '$2->2()'
    ${EndIf}
    System::Call '$1->2()'
  ${EndIf}
  ; Compared as Windows compares paths: without regard to letter case.
  ${If} $3 == "$INSTDIR\${EXE}"
    Delete "$SMSTARTUP\Molvar.lnk"
  ${EndIf}
FunctionEnd

; The user's settings (%APPDATA%\TORVEL\Molvar3) and the registry profile
; stay, for a later installation.
Section "Uninstall"
  Call un.RemoveStartupLinkToUs
  Delete "$SMPROGRAMS\${SHORTCUT}"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${HELP}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
