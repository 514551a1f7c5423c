; The Kestrune installer: one 32-bit (x86-unicode) installer that runs on
; both kinds of Windows and puts the program that fits the machine into
; Program Files, per machine. ship/windows/CMakeLists.txt runs makensis with
; these defines:
;   KESTRUNE_VERSION      four numbers, from the project's version
;   KESTRUNE_PUBLISHER    the maker's name
;   KESTRUNE_PROGRAM_X64  the 64-bit kestrune.exe
;   KESTRUNE_PROGRAM_X86  the 32-bit kestrune.exe
;   KESTRUNE_ICON         the program's icon
;   KESTRUNE_OUTFILE      where the installer goes
;   KESTRUNE_SIGN         optional: a command that signs the file named %1
;
; Command line: /S silent, /DESKTOP adds the desktop shortcut, /D=FOLDER
; (last) installs elsewhere.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
CRCCheck on

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include Sections.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrune"

Name "Kestrune"
OutFile "${KESTRUNE_OUTFILE}"
Icon "${KESTRUNE_ICON}"
UninstallIcon "${KESTRUNE_ICON}"
ShowInstDetails hide
ShowUninstDetails hide

VIProductVersion "${KESTRUNE_VERSION}"
VIFileVersion "${KESTRUNE_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Kestrune"
VIAddVersionKey /LANG=1033 "CompanyName" "${KESTRUNE_PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "Kestrune Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${KESTRUNE_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${KESTRUNE_VERSION}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "kestrune-setup.exe"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${KESTRUNE_PUBLISHER}"

!ifdef KESTRUNE_SIGN
  ; Both run after the file is complete, so the signature covers it whole.
  !uninstfinalize '${KESTRUNE_SIGN}' = 0
  !finalize '${KESTRUNE_SIGN}' = 0
!endif

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; ------------------------------------------------------------ install

; The launcher runs as administrator in the install folder and starts what
; it downloads there, so only administrators may change that folder,
; wherever it is: the rights Program Files gives (full control for
; Administrators and SYSTEM, read and run for Users) and nothing inherited
; from the parent, which on C:\ lets every user change what is in it. The
; folder's owner and its own earlier entries go too, so a folder someone
; else made beforehand keeps no way in for them. Set before anything is
; written into the folder.
; NOTE: icacls is Windows' own; the well-known SIDs name the groups in any
; language. A failure (no icacls, a drive without rights) does not stop the
; install; the details say so. Wine's icacls changes nothing.
Function GiveFolderAdministratorRights
  StrCpy $1 '"$SYSDIR\icacls.exe" "$INSTDIR"'
  StrCpy $2 ""
  nsExec::ExecToLog '$1 /setowner *S-1-5-32-544 /C /Q'
  Pop $0
  ${IfThen} $0 != "0" ${|} StrCpy $2 "$2 $0" ${|}
  nsExec::ExecToLog '$1 /reset /C /Q'
  Pop $0
  ${IfThen} $0 != "0" ${|} StrCpy $2 "$2 $0" ${|}
  nsExec::ExecToLog '$1 /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /C /Q'
  Pop $0
  ${IfThen} $0 != "0" ${|} StrCpy $2 "$2 $0" ${|}
  ${If} $2 != ""
    DetailPrint "The rights of $INSTDIR could not all be set (icacls:$2)."
  ${EndIf}
FunctionEnd

Section "Kestrune" Program
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  Call GiveFolderAdministratorRights
  ; Only the program files are written: the launcher's manifest copy and
  ; the files it downloaded stay as they are on an upgrade.
  SetOverwrite on
  ${If} ${RunningX64}
    File "/oname=kestrune.exe" "${KESTRUNE_PROGRAM_X64}"
  ${Else}
    File "/oname=kestrune.exe" "${KESTRUNE_PROGRAM_X86}"
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; SetOutPath just before makes the install folder the shortcut's
  ; "Start in": the launcher keeps its files in its working directory.
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\Kestrune.lnk" "$INSTDIR\kestrune.exe" "" "$INSTDIR\kestrune.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestrune"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${KESTRUNE_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${KESTRUNE_PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrune.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; What the installer wrote, in KiB; the downloaded files come and go.
  ${GetSize} "$INSTDIR" "/M=kestrune.exe /S=0B /G=0" $0 $1 $2
  ${GetSize} "$INSTDIR" "/M=uninstall.exe /S=0B /G=0" $1 $2 $3
  IntOp $0 $0 + $1
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Desktop shortcut" DesktopShortcut
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  CreateShortcut "$DESKTOP\Kestrune.lnk" "$INSTDIR\kestrune.exe" "" "$INSTDIR\kestrune.exe" 0
SectionEnd

; The sections are declared above: .onInit selects one by its index.
Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ; /D= sets $INSTDIR before this runs; otherwise an earlier install's
  ; folder, so an upgrade lands on it, else Program Files.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\Kestrune"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\Kestrune"
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/DESKTOP" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${DesktopShortcut}
  ${EndIf}
FunctionEnd

; ------------------------------------------------------------ uninstall

Var Manifest      ; handle on updater1.txt
Var Line          ; the line last read, without its end
Var LineEnded     ; 0 when the file had no more line
Var Controls      ; the characters 1 to 31
Var Unsafe        ; characters a plain file name cannot hold

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  StrCpy $Controls ""
  StrCpy $0 1
  ${DoWhile} $0 < 32
    IntFmt $1 "%c" $0
    StrCpy $Controls "$Controls$1"
    IntOp $0 $0 + 1
  ${Loop}
  StrCpy $Unsafe '\/:*?"<>|'
FunctionEnd

; Is the character $0 in the string $1? $2 = 1 or 0.
Function un.CharIn
  Push $3
  Push $4
  StrCpy $2 0
  StrCpy $3 0
  ${Do}
    StrCpy $4 $1 1 $3
    ${IfThen} $4 == "" ${|} ${ExitDo} ${|}
    ${If} $4 S== $0
      StrCpy $2 1
      ${ExitDo}
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  Pop $4
  Pop $3
FunctionEnd

; One line of updater1.txt as the launcher reads it: a line ends at LF or
; CR LF, a lone CR is dropped and the line goes on, the last line needs no
; end, and a Ctrl-Z ends the line's text. FileRead reads ANSI text in the
; system's code page, as the launcher does, but ends a line at a lone CR and
; at its own length limit, so pieces are joined here.
Function un.ReadLine
  StrCpy $Line ""
  StrCpy $LineEnded 0
  ${Do}
    ClearErrors
    FileRead $Manifest $0
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    StrCpy $LineEnded 1
    StrCpy $1 $0 1 -1
    ${If} $1 == "$\n"
      StrCpy $0 $0 -1
      StrCpy $1 $0 1 -1
      ${IfThen} $1 == "$\r" ${|} StrCpy $0 $0 -1 ${|}
      StrCpy $Line "$Line$0"
      ${ExitDo}
    ${ElseIf} $1 == "$\r"
      StrCpy $0 $0 -1
    ${EndIf}
    StrCpy $Line "$Line$0"
  ${Loop}
  ; Ctrl-Z: the text ends there ($LineEnded 2 when it starts the line).
  StrCpy $2 0
  ${Do}
    StrCpy $1 $Line 1 $2
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ${If} $1 == "${U+1A}"
      StrCpy $Line $Line $2
      ${IfThen} $2 = 0 ${|} StrCpy $LineEnded 2 ${|}
      ${ExitDo}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
FunctionEnd

; Removes $INSTDIR\<$Line> when $Line, trimmed as the launcher trims it
; (every character up to code 32 off both ends), is a plain file name:
; no folder, no wildcard, no drive or stream, nothing Windows would read as
; another name. Anything else stays where it is.
Function un.DeleteListed
  StrCpy $0 " "
  ${Do}
    StrCpy $0 $Line 1
    StrCpy $1 "$Controls "
    Call un.CharIn
    ${IfThen} $2 = 0 ${|} ${ExitDo} ${|}
    StrCpy $Line $Line "" 1
  ${Loop}
  ${Do}
    StrCpy $0 $Line 1 -1
    ${IfThen} $0 == "" ${|} ${ExitDo} ${|}
    StrCpy $1 "$Controls "
    Call un.CharIn
    ${IfThen} $2 = 0 ${|} ${ExitDo} ${|}
    StrCpy $Line $Line -1
  ${Loop}
  StrLen $3 $Line
  ${If} $3 = 0
  ${OrIf} $3 > 255
    Return
  ${EndIf}
  StrCpy $0 $Line 1 -1
  ${If} $0 == "."
    Return  ; also "." and ".."
  ${EndIf}
  StrCpy $4 0
  ${DoWhile} $4 < $3
    StrCpy $0 $Line 1 $4
    StrCpy $1 "$Controls$Unsafe"
    Call un.CharIn
    ${IfThen} $2 = 1 ${|} Return ${|}
    IntOp $4 $4 + 1
  ${Loop}
  Delete "$INSTDIR\$Line"
FunctionEnd

; The files the kept manifest lists: the title line, then a name line and
; a caption line per file.
Function un.DeleteListedFiles
  ClearErrors
  FileOpen $Manifest "$INSTDIR\updater1.txt" r
  ${IfThen} ${Errors} ${|} Return ${|}
  Call un.ReadLine
  ${If} $LineEnded = 1
    ${Do}
      Call un.ReadLine
      ${IfThen} $LineEnded != 1 ${|} ${ExitDo} ${|}
      Call un.DeleteListed
      Call un.ReadLine
    ${Loop}
  ${EndIf}
  FileClose $Manifest
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Kestrune.lnk"
  Delete "$DESKTOP\Kestrune.lnk"
  Call un.DeleteListedFiles
  Delete "$INSTDIR\updater1.txt"
  Delete "$INSTDIR\updater1.b2sums"
  Delete "$INSTDIR\updater1.b2sums.minisig"
  Delete "$INSTDIR\updater1.verified.b2sums"
  ; Kept by earlier versions, which signed the manifest alone.
  Delete "$INSTDIR\updater1.txt.minisig"
  Delete "$INSTDIR\*.kestrune-part"
  Delete "$INSTDIR\kestrune.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Without /r: a folder still holding a user's own files stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
