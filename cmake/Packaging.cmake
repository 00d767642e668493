# Installing Kelvra as a desktop program, laid out as Debian lays out games: the program in
# <prefix>/games, the desktop entry, the icons, the software-centre entry and the manual page under
# <prefix>/share, the copyright and the changelog under <prefix>/share/doc/kelvra; and the Debian
# package built from that same installation by CPack (`make package`).
include(GNUInstallDirs)

set(KELVRA_INSTALL_GAMESDIR games CACHE STRING "Directory of the program, relative to the install prefix")
# The maintainer and the home page are the placeholders set at the top of CMakeLists.txt.
# The software-centre id, a reversed domain name as AppStream asks; it names the desktop entry
# kelvra.desktop as what launches the program.
set(KELVRA_APPSTREAM_ID org.example.kelvra)
set(KELVRA_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kelvra)
# The sizes that desktops look up first in the hicolor theme; the 256-pixel one is enlarged from
# the 128-pixel sprite, which is soft enough to stand it.
set(KELVRA_ICON_SIZES 16 32 48 64 128 256)

set(KELVRA_PKG_DIR ${CMAKE_BINARY_DIR}/packaging)

# The icons are drawn on the build machine: a cross build takes the tool from its native build.
if(CMAKE_CROSSCOMPILING)
  set(KELVRA_MAKE_ICON ${KELVRA_HOST_BUILD}/make_icon)
  if(NOT EXISTS "${KELVRA_MAKE_ICON}")
    message(FATAL_ERROR "KELVRA_HOST_BUILD must name a native build holding make_icon")
  endif()
else()
  add_executable(make_icon tools/make_icon.cpp)
  find_package(ZLIB REQUIRED)
  target_link_libraries(make_icon PRIVATE ZLIB::ZLIB)
  set(KELVRA_MAKE_ICON make_icon)
endif()

set(KELVRA_ICON_FILES)
foreach(size ${KELVRA_ICON_SIZES})
  set(icon ${KELVRA_PKG_DIR}/icons/${size}x${size}/kelvra.png)
  add_custom_command(
    OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVRA_PKG_DIR}/icons/${size}x${size}
    COMMAND ${KELVRA_MAKE_ICON} ${CMAKE_SOURCE_DIR}/assets/star.tga ${size} ${icon}
    DEPENDS ${KELVRA_MAKE_ICON} ${CMAKE_SOURCE_DIR}/assets/star.tga
    COMMENT "Drawing the ${size} pixel icon")
  list(APPEND KELVRA_ICON_FILES ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian ships manual pages compressed with gzip -9n (no name or time stamp, so the bytes repeat).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(KELVRA_MAN_PAGE ${KELVRA_PKG_DIR}/kelvra.6.gz)
add_custom_command(
  OUTPUT ${KELVRA_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KELVRA_PKG_DIR}
  COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_SOURCE_DIR}/packaging/kelvra.6 > ${KELVRA_MAN_PAGE}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/kelvra.6
  COMMENT "Compressing the manual page")

# The Debian changelog, compressed the same way; its entries name the package's maintainer.
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${KELVRA_PKG_DIR}/changelog @ONLY)
set(KELVRA_CHANGELOG ${KELVRA_PKG_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${KELVRA_CHANGELOG}
  COMMAND ${GZIP_PROGRAM} -9nc ${KELVRA_PKG_DIR}/changelog > ${KELVRA_CHANGELOG}
  DEPENDS ${KELVRA_PKG_DIR}/changelog
  COMMENT "Compressing the changelog")

# The copyright file quotes the licence of the font compiled into the program from the font
# package's own copyright file (cmake/Font.cmake found both). Without one, as where dpkg does not
# keep the system's packages, the install goes without it.
set(KELVRA_COPYRIGHT)
if(KELVRA_FONT_COPYRIGHT)
  get_filename_component(font_package ${KELVRA_FONT_COPYRIGHT} DIRECTORY)
  get_filename_component(font_package ${font_package} NAME)
  set(KELVRA_COPYRIGHT ${KELVRA_PKG_DIR}/copyright)
  add_custom_command(
    OUTPUT ${KELVRA_COPYRIGHT}
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${CMAKE_SOURCE_DIR}/packaging/copyright.in
            -DLICENSE_FILE=${CMAKE_SOURCE_DIR}/LICENSE -DFONT_COPYRIGHT=${KELVRA_FONT_COPYRIGHT}
            -DFONT_PACKAGE=${font_package} -DOUTPUT=${KELVRA_COPYRIGHT}
            -P ${CMAKE_SOURCE_DIR}/cmake/DebianCopyright.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/copyright.in ${CMAKE_SOURCE_DIR}/LICENSE ${KELVRA_FONT_COPYRIGHT}
            ${CMAKE_SOURCE_DIR}/cmake/DebianCopyright.cmake
    COMMENT "Writing the copyright file")
endif()

set(KELVRA_METAINFO ${KELVRA_PKG_DIR}/${KELVRA_APPSTREAM_ID}.metainfo.xml)
configure_file(${CMAKE_SOURCE_DIR}/packaging/kelvra.metainfo.xml.in ${KELVRA_METAINFO} @ONLY)

add_custom_target(kelvra_install_files ALL
                  DEPENDS ${KELVRA_ICON_FILES} ${KELVRA_MAN_PAGE} ${KELVRA_CHANGELOG} ${KELVRA_COPYRIGHT})

install(TARGETS kelvra RUNTIME DESTINATION ${KELVRA_INSTALL_GAMESDIR})
# A stripped install (the package's, or `cmake --install --strip`) also drops the compilers' .comment
# and the .note section, as Debian's own packaging tools do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KELVRA_INSTALL_GAMESDIR}/$<TARGET_FILE_NAME:kelvra>\")
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note \"\${program}\"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR \"could not strip \${program}\")
    endif()
  endif()
")
install(FILES ${KELVRA_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${KELVRA_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KELVRA_COPYRIGHT} ${KELVRA_CHANGELOG} DESTINATION ${KELVRA_INSTALL_DOCDIR})
# The desktop entry names the program by its full path, which is known only when installing: the
# prefix given to `cmake --install --prefix` or the package's /usr may differ from the configured one.
install(CODE "
  set(KELVRA_DESKTOP_TEMPLATE \"${CMAKE_SOURCE_DIR}/packaging/kelvra.desktop.in\")
  set(KELVRA_DESKTOP_STAGE \"${KELVRA_PKG_DIR}/install\")
  set(KELVRA_INSTALL_GAMESDIR \"${KELVRA_INSTALL_GAMESDIR}\")
  set(KELVRA_INSTALL_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
  include(\"${CMAKE_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KELVRA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive simulation of the birth of a galaxy")
# The long description, one paragraph; CPack puts the summary above it as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kelvra scatters up to 10,000 stars at rest in a spherical cloud and integrates
their mutual Newtonian gravity pair by pair, turn after turn, while you fly a
free camera through the collapsing cloud with the mouse and the keyboard.
Stars are drawn as depth-sorted sprites coloured and sized by their mass.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies are whatever dpkg-shlibdeps finds the program linked against, never a list kept by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A cross build's package is for the target's Debian architecture (arm64 for aarch64-linux-gnu), and
# dpkg-shlibdeps must read the program with that architecture's objdump and look its libraries up
# among that architecture's: it learns the architecture from DEB_HOST_ARCH, which cpack sets for it.
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE KELVRA_DEBIAN_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR KELVRA_DEBIAN_ARCH STREQUAL "")
    message(FATAL_ERROR "dpkg-architecture knows no Debian architecture for ${CMAKE_LIBRARY_ARCHITECTURE}")
  endif()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KELVRA_DEBIAN_ARCH})
  set(KELVRA_CPACK_CROSS "set(ENV{DEB_HOST_ARCH} ${KELVRA_DEBIAN_ARCH})")
endif()
include(${CMAKE_SOURCE_DIR}/cmake/SourceDate.cmake)
kelvra_cpack_project_config(${KELVRA_PKG_DIR}/cpack-project.cmake ${KELVRA_PKG_DIR}/changelog ${KELVRA_CPACK_CROSS})
set(CPACK_STRIP_FILES ON)
include(CPack)
