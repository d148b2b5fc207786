; The suite's installer: the programs of the build, the settings key with InstallPath, the
; console's event-log source "Salvora", and an uninstaller that takes all of it away again.
; makensis -DBIN=<folder of the built programs> -DOUTFILE=<setup program> -DTARGET=<stub>
!ifndef TARGET
  !define TARGET amd64-unicode
!endif
Target ${TARGET}
!if "${TARGET}" != "x86-ansi"
  Unicode true
!endif
SetCompressor /SOLID lzma

!define PRODUCT "Corvane Salvora"
!define SETTINGS_KEY "SOFTWARE\Ostrel\Salvora\CurrentVersion"
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Salvora"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Ostrel Salvora"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!if "${TARGET}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\Ostrel\Salvora"
!else
  InstallDir "$PROGRAMFILES\Ostrel\Salvora"
!endif
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; One program of the suite, when the build has made it; the uninstaller removes what is there.
!macro Program NAME
  !if /FileExists "${BIN}/${NAME}"
    File "${BIN}/${NAME}"
  !endif
!macroend

Function .onInit
  !if "${TARGET}" == "amd64-unicode"
    SetRegView 64
  !endif
FunctionEnd

Function un.onInit
  !if "${TARGET}" == "amd64-unicode"
    SetRegView 64
  !endif
FunctionEnd

Section "Salvora"
  SetOutPath "$INSTDIR"
  !insertmacro Program "Salvora.exe"
  !insertmacro Program "Vantoro.exe"
  !insertmacro Program "Vantoro.alp"
  !insertmacro Program "Restavo.exe"
  !insertmacro Program "Scheduler.exe"
  !insertmacro Program "Scheduler.old"
  !insertmacro Program "Rostery.exe"
  !insertmacro Program "clock2.avi"
  !insertmacro Program "Salvora.chm"
  !insertmacro Program "Scheduler.chm"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${SETTINGS_KEY}" "InstallPath" "$INSTDIR"

  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\Salvora.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Ostrel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\Salvora.exe"
  Delete "$INSTDIR\Vantoro.exe"
  Delete "$INSTDIR\Vantoro.alp"
  Delete "$INSTDIR\Restavo.exe"
  Delete "$INSTDIR\Scheduler.exe"
  Delete "$INSTDIR\Scheduler.old"
  Delete "$INSTDIR\Rostery.exe"
  Delete "$INSTDIR\clock2.avi"
  Delete "$INSTDIR\Salvora.chm"
  Delete "$INSTDIR\Scheduler.chm"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."

  DeleteRegKey HKLM "SOFTWARE\Ostrel\Salvora"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Ostrel"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
