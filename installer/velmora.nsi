; Velmora's installer for the current user, without administrator rights: the program, its user
; guide, licence and notices in %LOCALAPPDATA%\Programs\Velmora, a Start menu shortcut, a
; "Velmora" entry in Send To, "Open with" for .jpg, .jpeg and .jfif (never the default program),
; with -DHEIF also the HEIF decoder velmora-heif.dll and "Open with" for .heic, .heif and .hif,
; and an entry in the list of installed programs whose uninstaller removes all of that again.
; /S installs and uninstalls silently; installing over an earlier copy replaces it in place.
; Built by scripts/package.sh:
;   makensis -DVERSION=1.0 -DVERSION4=1.0.0.0 -DSTAGE=dir -DICON=velmora.ico -DOUTFILE=setup.exe
Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
!include "FileFunc.nsh"

!define APP_KEY "Software\Classes\Applications\velmora.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"

Name "Velmora ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Velmora"
Icon "${ICON}"
UninstallIcon "${ICON}"
BrandingText "Velmora ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey "ProductName" "Velmora"
VIAddVersionKey "CompanyName" "The Velmora developers"
VIAddVersionKey "FileDescription" "Velmora ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 the Velmora developers, MIT licence"

Page license
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}\LICENSE.txt"

; Runs MACRO once for each type Velmora opens, with the type as its argument.
!macro ForEachType MACRO
  !insertmacro ${MACRO} ".jpg"
  !insertmacro ${MACRO} ".jpeg"
  !insertmacro ${MACRO} ".jfif"
  !ifdef HEIF
    !insertmacro ${MACRO} ".heic"
    !insertmacro ${MACRO} ".heif"
    !insertmacro ${MACRO} ".hif"
  !endif
!macroend

!macro OfferType TYPE
  WriteRegStr HKCU "${APP_KEY}\SupportedTypes" "${TYPE}" ""
  WriteRegStr HKCU "Software\Classes\${TYPE}\OpenWithList\velmora.exe" "" ""
!macroend

; Takes back the offer; the type's own key goes only when nothing else is left in it.
!macro WithdrawType TYPE
  DeleteRegKey HKCU "Software\Classes\${TYPE}\OpenWithList\velmora.exe"
  DeleteRegKey /ifempty HKCU "Software\Classes\${TYPE}\OpenWithList"
  DeleteRegKey /ifempty HKCU "Software\Classes\${TYPE}"
!macroend

Function .onInit
  SetShellVarContext current
FunctionEnd

Section "Velmora"
  SetOutPath "$INSTDIR"
  File "${STAGE}\velmora.exe"
  !ifdef HEIF
    File "${STAGE}\velmora-heif.dll"
  !endif
  File "${STAGE}\User Guide.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\Velmora.lnk" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0 \
    SW_SHOWNORMAL "" "Makes JPEG photos smaller for mailing"
  CreateShortCut "$SENDTO\Velmora.lnk" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0

  ; "Open with": the program as an application that opens these types, named and with its icon.
  WriteRegStr HKCU "${APP_KEY}" "FriendlyAppName" "Velmora"
  WriteRegStr HKCU "${APP_KEY}\DefaultIcon" "" "$INSTDIR\velmora.exe,0"
  WriteRegStr HKCU "${APP_KEY}\shell\open\command" "" '"$INSTDIR\velmora.exe" "%1"'
  !insertmacro ForEachType OfferType

  ; The entry in the list of installed programs.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velmora"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Velmora developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Explorer reads the associations anew.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

; Removes what the installer made, one by one, and the folders and keys that held them once
; they are empty: nothing of the user's is removed with them.
Section "Uninstall"
  Delete "$SMPROGRAMS\Velmora.lnk"
  Delete "$SENDTO\Velmora.lnk"
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\velmora-heif.dll"
  Delete "$INSTDIR\User Guide.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$LOCALAPPDATA\Programs"

  DeleteRegKey HKCU "${APP_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Classes\Applications"
  !insertmacro ForEachType WithdrawType
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"

  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
