; The per-user installer of Tavinel, for one bitness. scripts/package.sh compiles it with
;   makensis -NOCD -DVERSION=2.0.0 -DARCH=x64|x86 -DSRCDIR=<source tree>
;            -DFILES=<folder with tavinel.exe and README.txt> -DOUTFILE=<setup.exe> tavinel.nsi
; It installs without administrator rights into %LOCALAPPDATA%\Programs\Tavinel (/D=DIR chooses
; another folder, /S installs silently), and everything it writes is under HKCU.

; The 64-bit program ships with a 64-bit installer, which runs where the program can.
!if ${ARCH} == x64
    Target amd64-unicode
    !define BITNESS "64-bit"
!else
    Target x86-unicode
    !define BITNESS "32-bit"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Tavinel"
!define EXE "tavinel.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavinel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Brunok\Tavinel"
; The program's notification window (a dialog) and its tray menu's Exit command.
!define WINDOW_CLASS "#32770"
!define WINDOW_TITLE "Tavinel 2.0"
!define ID_EXIT 40001
!define EXIT_WAIT_MS 15000

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} (${BITNESS}) Setup"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${BITNESS} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Brunok"

Var WasRunning ; 1 when a running Tavinel was ended and is to be started again

!define MUI_ICON "${SRCDIR}\res\envelope.ico"
!define MUI_UNICON "${SRCDIR}\res\envelope.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartTavinel
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running Tavinel as its tray menu's Exit does, and waits a bounded time for the process
; to end, so that its file can be replaced and no second instance ever starts. Sets $WasRunning.
!macro END_TAVINEL un
Function ${un}EndTavinel
    StrCpy $WasRunning 0
    FindWindow $0 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
    ${If} $0 == 0
        Return
    ${EndIf}
    StrCpy $WasRunning 1
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2' ; SYNCHRONIZE
    System::Call 'user32::PostMessageW(p r0, i 0x111, p ${ID_EXIT}, p 0)' ; WM_COMMAND
    ${If} $2 != 0
        System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3'
        System::Call 'kernel32::CloseHandle(p r2)'
    ${Else} ; the process cannot be waited for: at least its window has to go
        StrCpy $4 0
        ${Do}
            System::Call 'user32::IsWindow(p r0) i .r3'
            ${If} $3 == 0
            ${OrIf} $4 >= ${EXIT_WAIT_MS}
                ${Break}
            ${EndIf}
            Sleep 100
            IntOp $4 $4 + 100
        ${Loop}
    ${EndIf}
    ${If} $3 != 0 ; WAIT_OBJECT_0, or the window gone
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running and does not end. Choose Exit in its menu in the notification area, then try again." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd
!macroend
!insertmacro END_TAVINEL ""
!insertmacro END_TAVINEL "un."


Function StartTavinel
    ${If} $WasRunning <> 1 ; otherwise it was started again already
        Exec '"$INSTDIR\${EXE}"'
    ${EndIf}
FunctionEnd

Function FinishPageShow
    ${If} $WasRunning = 1
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
FunctionEnd

Section "${PRODUCT}" SecProgram
    SectionIn RO
    Call EndTavinel
    SetOutPath "$INSTDIR"
    File "${FILES}\${EXE}"
    File "${FILES}\README.txt"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${BITNESS})"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Brunok"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start ${PRODUCT} when I log on" SecRun
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE}"'
SectionEnd

Section "-Finish"
    ${IfNot} ${SectionIsSelected} ${SecRun}
        DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}" ; an earlier installation's choice
    ${EndIf}
    ${If} $WasRunning = 1
        Exec '"$INSTDIR\${EXE}"'
    ${EndIf}
SectionEnd

Function .onInit
!if ${ARCH} == x64
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit ${PRODUCT}, and this Windows is 32-bit. Install tavinel-${VERSION}-x86-setup.exe instead." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
!endif
    ; An upgrade keeps the choice made at the installation: no Run value, no start at log-on.
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $1 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 != ""
    ${AndIf} $1 == ""
        !insertmacro UnselectSection ${SecRun}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.EndTavinel
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR" ; only when nothing else is in it
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    MessageBox MB_YESNO|MB_ICONQUESTION "Keep your ${PRODUCT} settings for a later installation?$\r$\n(HKEY_CURRENT_USER\${SETTINGS_KEY})" /SD IDYES IDYES keep
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\Brunok"
keep:
SectionEnd
