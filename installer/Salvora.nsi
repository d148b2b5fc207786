; The suite's installer: the programs of the build, the settings key with InstallPath, the
; console's event-log source "Salvora", Start-menu shortcuts, the Add/Remove Programs entry,
; and an uninstaller that takes all of it away again.
; makensis -DBIN=<folder of the built programs> -DOUTFILE=<setup program> -DTARGET=<stub>
;          -DVERSION=<major.minor.patch.build>
;
; An earlier installation is upgraded where it is (the folder comes from its InstallPath
; unless /D= names another). Nothing is changed while a program of the suite runs from the
; folder: interactively the installer asks to close it; silently it ends with exit code 3.
!ifndef TARGET
  !define TARGET amd64-unicode
!endif
!ifndef VERSION
  !define VERSION 0.0.0.0
!endif
Target ${TARGET}
!if "${TARGET}" != "x86-ansi"
  Unicode true
!endif
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Corvane Salvora"
!define COMPANY "Ostrel"
!define SETTINGS_KEY "SOFTWARE\Ostrel\Salvora\CurrentVersion"
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Salvora"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Ostrel Salvora"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT}"
!define EXIT_PROGRAM_RUNNING 3

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!if "${TARGET}" == "amd64-unicode"
  InstallDir "$PROGRAMFILES64\Ostrel\Salvora"
!else
  InstallDir "$PROGRAMFILES\Ostrel\Salvora"
!endif
; An upgrade goes where the suite already is.
InstallDirRegKey HKLM "${SETTINGS_KEY}" "InstallPath"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${COMPANY}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${COMPANY}"

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

; The suite's programs that can run from the folder: a running program's file cannot be
; opened for writing (Windows keeps the image of a running program locked).
!macro RunningCheck UN
Function ${UN}FindRunning
  ; Out: $R0 the first running program's file name, or empty.
  StrCpy $R0 ""
  ${ForEach} $R1 1 5 + 1
    ${Select} $R1
      ${Case} 1
        StrCpy $R2 "Salvora.exe"
      ${Case} 2
        StrCpy $R2 "Restavo.exe"
      ${Case} 3
        StrCpy $R2 "Scheduler.exe"
      ${Case} 4
        StrCpy $R2 "Rostery.exe"
      ${Case} 5
        StrCpy $R2 "Scheduler.old"
    ${EndSelect}
    ${If} ${FileExists} "$INSTDIR\$R2"
      ClearErrors
      FileOpen $R3 "$INSTDIR\$R2" a
      ${If} ${Errors}
        StrCpy $R0 $R2
        ${Break}
      ${EndIf}
      FileClose $R3
    ${EndIf}
  ${Next}
FunctionEnd

; Silently: end with EXIT_PROGRAM_RUNNING and change nothing. Interactively: ask until the
; program is closed or the user gives up.
Function ${UN}RefuseWhileRunning
  ${Do}
    Call ${UN}FindRunning
    ${If} $R0 == ""
      Return
    ${EndIf}
    ${If} ${Silent}
      DetailPrint "$R0 is running from $INSTDIR: nothing was changed."
      SetErrorLevel ${EXIT_PROGRAM_RUNNING}
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R0 is running from $INSTDIR.$\r$\nClose every program of ${PRODUCT} (an unattended run too), then choose Retry." IDRETRY retry
    SetErrorLevel ${EXIT_PROGRAM_RUNNING}
    Quit
    retry:
  ${Loop}
FunctionEnd
!macroend
!insertmacro RunningCheck ""
!insertmacro RunningCheck "un."

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
  ; First of all, before anything is changed.
  Call RefuseWhileRunning

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

  ; Shortcuts for every user.
  SetShellVarContext all
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\Salvora.lnk" "$INSTDIR\Salvora.exe"
  CreateShortCut "${MENU_FOLDER}\Restavo.lnk" "$INSTDIR\Restavo.exe"
  CreateShortCut "${MENU_FOLDER}\Scheduler.lnk" "$INSTDIR\Scheduler.exe"
  CreateShortCut "${MENU_FOLDER}\Rostery.lnk" "$INSTDIR\Rostery.exe"
  CreateShortCut "${MENU_FOLDER}\Salvora Help.lnk" "$INSTDIR\Salvora.chm"
  CreateShortCut "${MENU_FOLDER}\Scheduler Help.lnk" "$INSTDIR\Scheduler.chm"
  CreateShortCut "${MENU_FOLDER}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Salvora.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size in KB of the folder's own files (the repair sets in its subfolders not counted).
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Jobs of the Schedule service that still start the suite: `at` lists them with their
; command lines (the wizard's jobs start Scheduler.old or Salvora.exe).
Function un.WarnAboutJobs
  ${IfNot} ${FileExists} "$SYSDIR\at.exe"
    Return
  ${EndIf}
  nsExec::ExecToStack '"$SYSDIR\at.exe"'
  Pop $0 ; exit code
  Pop $1 ; output
  ${If} $0 != 0
    Return
  ${EndIf}
  StrLen $4 $1
  ${ForEach} $6 1 2 + 1
    ${If} $6 == 1
      StrCpy $7 "Scheduler.old"
    ${Else}
      StrCpy $7 "Salvora.exe"
    ${EndIf}
    StrLen $3 $7
    StrCpy $2 0
    ${DoWhile} $2 < $4
      StrCpy $5 $1 $3 $2
      ${If} $5 == $7
        DetailPrint "Scheduled jobs still start $7: delete them with Rostery or at."
        ${IfNot} ${Silent}
          MessageBox MB_OK|MB_ICONEXCLAMATION "The Schedule service still holds jobs that start $7.$\r$\nThey will fail once the suite is removed: delete them with Rostery (before you uninstall) or with the at command."
        ${EndIf}
        Return
      ${EndIf}
      IntOp $2 $2 + 1
    ${Loop}
  ${Next}
FunctionEnd

Section "Uninstall"
  Call un.RefuseWhileRunning
  Call un.WarnAboutJobs

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
  ; The repair sets, the result log and TNGAgent.ini stay: the folder goes only when empty.
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."

  ; The registration belongs to the installation it names: an uninstaller left in an
  ; earlier folder takes away only its own files.
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "InstallPath"
  ${If} $0 != "$INSTDIR"
    DetailPrint "${PRODUCT} is registered in $0: its registration stays."
    Return
  ${EndIf}
  SetShellVarContext all
  Delete "${MENU_FOLDER}\*.lnk"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "SOFTWARE\Ostrel\Salvora"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Ostrel"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
