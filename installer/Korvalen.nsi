; The installer of Korvalen: a per-user installation into the user's own programs folder.
; The program keeps Korvalen.ini, Data and InBox beside itself, so it needs a folder the
; user can write; no administrator rights are asked for. The uninstaller removes what the
; installer put there and leaves the user's settings and files.
;
; Built by installer/CMakeLists.txt:
;   makensis -INPUTCHARSET UTF8 -DOUTFILE=... -DEXE=... -DGUIDE=... -DREADME=... -DICON=...
;            -DBUILD_INFO=.../build_info.h Korvalen.nsi
; The version and the revision are read from the generated build_info.h, the one place
; they come from.

!searchparse /file "${BUILD_INFO}" '#define KORVALEN_VERSION "' VERSION '"'
!searchparse /file "${BUILD_INFO}" '#define KORVALEN_FILE_VERSION "' FILE_VERSION '"'
!searchparse /file "${BUILD_INFO}" '#define KORVALEN_REVISION "' REVISION '"'

; The program is a 64-bit one, so is its installer (and it runs where the program runs).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvalen"
; The name by which a running Korvalen.exe can be told (app/single_instance_win32.cpp).
!define INSTANCE_MUTEX "Korvalen-088FA840-B10D-11D3-BC36-006067709674"

Name "Korvalen ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Korvalen"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Korvalen ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=1049 "ProductName" "Korvalen"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "FileVersion" "${FILE_VERSION}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка Korvalen ${VERSION}"
VIAddVersionKey /LANG=1049 "Comments" "${REVISION}"
; The maker, as the program's old registry key names it (Software\Ombrath\Korvalen).
VIAddVersionKey /LANG=1049 "CompanyName" "Ombrath"
VIAddVersionKey /LANG=1049 "LegalCopyright" "© Ombrath"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Программа установит Korvalen ${VERSION} для вас: в вашу папку программ, без прав администратора.$\r$\n$\r$\nKorvalen хранит свои настройки (Korvalen.ini) и папки Data и InBox рядом с собой, в папке установки. При удалении программы они остаются на месте.$\r$\n$\r$\nНажмите «Далее», чтобы продолжить."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Korvalen.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Запустить Korvalen"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; A running program holds Korvalen.exe open: replacing or deleting it would fail half way,
; so both the installer and the uninstaller stop first (exit status 2 when silent).
!macro RefuseWhileRunning what
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p .r0'
    ${If} $0 P<> 0
        System::Call 'kernel32::CloseHandle(p r0)'
        MessageBox MB_OK|MB_ICONSTOP "Программа Korvalen запущена. Закройте её и начните ${what} снова." /SD IDOK
        Abort
    ${EndIf}
!macroend

Function .onInit
    !insertmacro RefuseWhileRunning "установку"
FunctionEnd

Function un.onInit
    !insertmacro RefuseWhileRunning "удаление"
FunctionEnd

Section
    SetOutPath "$INSTDIR"
    File "/oname=Korvalen.exe" "${EXE}"
    File "/oname=guide-ru.txt" "${GUIDE}"
    File "/oname=README.txt" "${README}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ; Started from the installation folder, where the program finds its settings.
    CreateShortcut "$SMPROGRAMS\Korvalen.lnk" "$INSTDIR\Korvalen.exe" "" \
        "$INSTDIR\Korvalen.exe" 0 SW_SHOWNORMAL "" "Считывание и декодирование данных регистраторов"

    ; "Programs and Features" of this user.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Korvalen"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Ombrath"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Korvalen.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/M=*.* /S=0K /G=0" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there: Korvalen.ini, Data and InBox are the user's, and
; with them the folder stays.
Section "Uninstall"
    Delete "$INSTDIR\Korvalen.exe"
    Delete "$INSTDIR\guide-ru.txt"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\Korvalen.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    RMDir "$INSTDIR"
SectionEnd
