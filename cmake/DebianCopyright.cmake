# Writes the package's machine-readable copyright file (cmake -P, at build time): Kelvra's own
# licence from LICENSE, and for the compiled-in font the copyright and licence paragraph of the font
# package's own copyright file, so that both always describe the very files built into the program.
#   -DTEMPLATE=packaging/copyright.in -DLICENSE_FILE=LICENSE -DFONT_COPYRIGHT=<font package's copyright>
#   -DFONT_PACKAGE=<font package's name> -DOUTPUT=<file to write>

# The text as the body of a field: each line indented by one space, an empty line as " .".
function(as_field_body text out)
  string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
  string(STRIP "${text}" text)
  string(REPLACE "\n" "\n " text " ${text}")
  string(REPLACE "\n \n" "\n .\n" text "${text}")
  string(REPLACE "\n \n" "\n .\n" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The MIT licence is called Expat in Debian's format; its text starts at the permission notice.
file(READ "${LICENSE_FILE}" licence)
string(FIND "${licence}" "Permission is hereby granted" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${LICENSE_FILE} holds no MIT permission notice")
endif()
string(SUBSTRING "${licence}" ${start} -1 licence)
as_field_body("${licence}" KELVRA_EXPAT_TEXT)

# The font package's paragraph for its fonts ("Files: *"): its Copyright and License fields, the
# licence's full text included, taken as they stand.
if(NOT EXISTS "${FONT_COPYRIGHT}")
  message(FATAL_ERROR "${FONT_COPYRIGHT} is missing: the font's licence must travel with the program")
endif()
file(READ "${FONT_COPYRIGHT}" font)
string(FIND "${font}" "\nFiles: *\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${FONT_COPYRIGHT} has no paragraph for Files: *")
endif()
math(EXPR start "${start} + 10")
string(SUBSTRING "${font}" ${start} -1 font)
string(FIND "${font}" "\n\n" end)
string(SUBSTRING "${font}" 0 ${end} font)
string(REGEX REPLACE "(\n \\.)+$" "" font "${font}")
if(NOT font MATCHES "(^|\n)Copyright:" OR NOT font MATCHES "\nLicense: [^\n]+\n ")
  message(FATAL_ERROR "the font's paragraph in ${FONT_COPYRIGHT} lacks its copyright or licence text")
endif()
set(KELVRA_FONT_COPYRIGHT_AND_LICENSE "${font}")

configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
