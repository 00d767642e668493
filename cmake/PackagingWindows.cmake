# The Windows packages (`make windows-package`): kelvra-<version>-win64.zip, to unpack anywhere, and
# the installer kelvra-<version>-win64-setup.exe (NSIS), which installs into Program Files, adds a
# Start-menu entry and an uninstaller. Both hold the same files: the program, README.txt, LICENSE.txt
# and, in licenses/, the licences of what is linked or embedded in the program.

# The font's licence is its Debian package's copyright file (cmake/Font.cmake); the MinGW-w64
# runtime's is the copyright file of the package that installed the runtime this compiler links.
if(NOT KELVRA_FONT_COPYRIGHT)
  message(FATAL_ERROR "the font's copyright file is needed for the Windows packages: name it with -DKELVRA_FONT_COPYRIGHT=")
endif()
set(KELVRA_FONT_LICENSE ${KELVRA_FONT_COPYRIGHT})
if(NOT KELVRA_MINGW_LICENSE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libmingw32.a OUTPUT_VARIABLE runtime
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(runtime "${runtime}" REALPATH)
  execute_process(COMMAND dpkg-query -S ${runtime} OUTPUT_VARIABLE owner ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(owner MATCHES "^([^:,]+)[^ ]*: ")
    set(KELVRA_MINGW_LICENSE /usr/share/doc/${CMAKE_MATCH_1}/copyright CACHE FILEPATH
        "Copyright and licences of the MinGW-w64 runtime linked into the program")
  else()
    message(FATAL_ERROR "dpkg knows no package of the MinGW-w64 runtime ${runtime}: name its licence with "
                        "-DKELVRA_MINGW_LICENSE=")
  endif()
endif()
set(KELVRA_LICENSE_DIR ${KELVRA_WINDOWS_DEPS}/share/licenses)
foreach(file ${KELVRA_LICENSE_DIR}/SDL2.txt ${KELVRA_LICENSE_DIR}/FreeType.txt ${KELVRA_LICENSE_DIR}/versions.cmake
             ${KELVRA_FONT_LICENSE}
             ${KELVRA_MINGW_LICENSE})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "missing licence file ${file}")
  endif()
endforeach()

install(TARGETS kelvra RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
# The notice names the versions of SDL2 and FreeType that tools/build-windows built, and the years
# their own notices give.
include(${KELVRA_LICENSE_DIR}/versions.cmake)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/THIRD-PARTY.txt.in ${CMAKE_BINARY_DIR}/THIRD-PARTY.txt @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/THIRD-PARTY.txt
              ${KELVRA_LICENSE_DIR}/SDL2.txt ${KELVRA_LICENSE_DIR}/FreeType.txt DESTINATION licenses)
install(FILES ${KELVRA_FONT_LICENSE} DESTINATION licenses RENAME LiberationMono.txt)
install(FILES ${KELVRA_MINGW_LICENSE} DESTINATION licenses RENAME MinGW-w64.txt)

set(CPACK_GENERATOR ZIP NSIS64)
set(CPACK_PACKAGE_NAME kelvra)
set(CPACK_PACKAGE_VENDOR Kelvra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Kelvra, an interactive simulation of the birth of a galaxy")
set(CPACK_PACKAGE_FILE_NAME kelvra-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kelvra)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_NSIS_PACKAGE_NAME Kelvra)
set(CPACK_NSIS_DISPLAY_NAME Kelvra)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# A 64-bit installer for a 64-bit program: it needs no 32-bit Windows layer (nor Wine's) to run.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_MUI_ICON ${KELVRA_ICON})
set(CPACK_NSIS_MUI_UNIICON ${KELVRA_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME kelvra.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# The Start-menu entry starts the program in the installation folder, where it lies beside its
# README (CPack's own entries expect programs in bin/). The uninstaller removes the entry and, once
# the program's own key is gone from it, the vendor's registry key. NSIS takes single quotes as
# well, which pass through CPack unharmed; four backslashes here are one in the script.
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Kelvra.lnk' '$INSTDIR\\\\kelvra.exe'")
set(CPACK_NSIS_DELETE_ICONS_EXTRA
    "Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Kelvra.lnk'\n  DeleteRegKey /ifempty SHCTX 'Software\\\\${CPACK_PACKAGE_VENDOR}'")
# The installer's file name says what it is; the archives are dated by the changelog.
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
include(${CMAKE_SOURCE_DIR}/cmake/SourceDate.cmake)
kelvra_cpack_project_config(${CMAKE_BINARY_DIR}/packaging/cpack-project.cmake ${CMAKE_BINARY_DIR}/packaging/changelog
  "if(CPACK_GENERATOR MATCHES \"NSIS\")\n  set(CPACK_PACKAGE_FILE_NAME \"${CPACK_PACKAGE_FILE_NAME}-setup\")\nendif()")
include(CPack)
