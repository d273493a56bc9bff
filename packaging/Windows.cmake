# The Windows program as one folder, and CPack's installer and ZIP of it (cpack -G NSIS, cpack -G ZIP).
# The folder: zemtar_tuner.exe (static: Qt and the C++ runtime are inside) with img\ beside it, since the
# program loads .\img\ from its working folder; the program's licence; Qt's licences with a notice of how Qt
# is included; Qt's Russian translation (translations\qtbase_ru.qm, loaded by the program at start).
install(FILES ${PROJECT_SOURCE_DIR}/img/pointer.bmp ${PROJECT_SOURCE_DIR}/img/division.bmp
              ${PROJECT_SOURCE_DIR}/img/smallDivision.bmp
        DESTINATION img)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

# Qt's texts come with the Qt that scripts/build-qt-windows.sh built; its translation is Debian's (app/).
file(READ ${ZT_QT_WINDOWS_DIR}/zt-qt-version ZT_QT_DESCRIPTION)
string(STRIP "${ZT_QT_DESCRIPTION}" ZT_QT_DESCRIPTION)
configure_file(windows-qt-notice.txt.in ${CMAKE_CURRENT_BINARY_DIR}/NOTICE.txt @ONLY)
install(DIRECTORY ${ZT_QT_WINDOWS_DIR}/licenses/ DESTINATION licenses/Qt)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/NOTICE.txt DESTINATION licenses/Qt)
install(FILES ${ZT_QT_RUSSIAN} DESTINATION translations)

# Installer: per machine, into Program Files\Zemtar Tuner, 64-bit (NSIS writes a 32-bit installer unless told),
# with a Start-menu shortcut that starts the program in its folder and an uninstaller that removes it all;
# /S installs and uninstalls silently.
set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME zemtar-tuner)
set(CPACK_PACKAGE_VENDOR Zemtar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tuner @ Zemtar, a guitar tuner")
set(CPACK_PACKAGE_FILE_NAME zemtar-tuner-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Zemtar Tuner")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Zemtar Tuner")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Tuner @ Zemtar")
set(CPACK_NSIS_DISPLAY_NAME "Tuner @ Zemtar")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/icons/ru.zemtar.Tuner.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/packaging/icons/ru.zemtar.Tuner.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME zemtar_tuner.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# File /r leaves the output folder at the last subfolder it wrote, and a shortcut's working folder is the output
# folder when it is made: the shortcut is made from the installation folder itself.
set(CPACK_NSIS_CREATE_ICONS_EXTRA [[
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Tuner @ Zemtar.lnk" "$INSTDIR\zemtar_tuner.exe"]])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  Delete "$SMPROGRAMS\$MUI_TEMP\Tuner @ Zemtar.lnk"]])
include(CPack)
