# Runs at install time (from cmake_install.cmake): writes the desktop entry with the program's real
# path under the prefix being installed to, then installs it like any other file, so that DESTDIR,
# the install manifest and CPack's staging all see it.
set(exec_path "${CMAKE_INSTALL_PREFIX}/${KELVRA_INSTALL_GAMESDIR}/kelvra")
if(exec_path MATCHES "[^A-Za-z0-9/._+-]")
  # A path with blanks or other reserved characters is quoted, with the characters that stay special
  # inside quotes escaped; every backslash is then doubled once more for the key file's own escaping.
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec_path "${exec_path}")
  string(REPLACE "\\" "\\\\" exec_path "${exec_path}")
  set(exec_path "\"${exec_path}\"")
endif()
set(KELVRA_DESKTOP_EXEC "${exec_path}")
configure_file("${KELVRA_DESKTOP_TEMPLATE}" "${KELVRA_DESKTOP_STAGE}/kelvra.desktop" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${KELVRA_INSTALL_DATADIR}/applications"
     TYPE FILE FILES "${KELVRA_DESKTOP_STAGE}/kelvra.desktop")
