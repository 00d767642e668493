# The font compiled into the program, Liberation Mono Bold, and the copyright file of the package that
# installed it, whose licence travels with every package of the program. Both are looked up on the
# build machine as it is laid out, never by a path of one release: the font through fontconfig (the
# newest version installed), its copyright through dpkg's record of the font file's package. Either
# may be given with -D instead.
#   KELVRA_FONT_FILE       the font file
#   KELVRA_FONT_COPYRIGHT  Debian's copyright file of its package, or empty where dpkg knows none

if(NOT KELVRA_FONT_FILE)
  find_program(KELVRA_FC_LIST fc-list)
  if(NOT KELVRA_FC_LIST)
    message(FATAL_ERROR "fc-list (fontconfig) is needed to find the Liberation Mono font: install fontconfig, "
                        "or name the font file with -DKELVRA_FONT_FILE=")
  endif()
  execute_process(COMMAND ${KELVRA_FC_LIST} -f "%{fontversion} %{file}\n" "Liberation Mono:style=Bold"
                  OUTPUT_VARIABLE fonts OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(best_version -1)
  string(REPLACE "\n" ";" fonts "${fonts}")
  foreach(line IN LISTS fonts)
    if(line MATCHES "^([0-9]+) (.+\\.ttf)$" AND CMAKE_MATCH_1 GREATER best_version)
      set(best_version ${CMAKE_MATCH_1})
      set(best_file ${CMAKE_MATCH_2})
    endif()
  endforeach()
  if(best_version EQUAL -1)
    message(FATAL_ERROR "fontconfig knows no Liberation Mono Bold: install the Liberation fonts, version 2 "
                        "(tools/install-deps does), or name the font file with -DKELVRA_FONT_FILE=")
  endif()
  set(KELVRA_FONT_FILE ${best_file} CACHE FILEPATH "The font compiled into the program (Liberation Mono Bold)")
endif()

if(NOT DEFINED KELVRA_FONT_COPYRIGHT)
  set(copyright "")
  find_program(KELVRA_DPKG_QUERY dpkg-query)
  if(KELVRA_DPKG_QUERY)
    get_filename_component(real_font ${KELVRA_FONT_FILE} REALPATH)
    execute_process(COMMAND ${KELVRA_DPKG_QUERY} -S ${real_font} OUTPUT_VARIABLE owner ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(owner MATCHES "^([^:,]+)[^ ]*: ")
      set(copyright /usr/share/doc/${CMAKE_MATCH_1}/copyright)
    endif()
  endif()
  if(NOT EXISTS "${copyright}")
    message(WARNING "No Debian copyright file found for ${KELVRA_FONT_FILE}: the install leaves out the "
                    "copyright file that quotes the font's licence (name one with -DKELVRA_FONT_COPYRIGHT=)")
    set(copyright "")
  endif()
  set(KELVRA_FONT_COPYRIGHT ${copyright} CACHE FILEPATH "Copyright file of the font's Debian package")
endif()
message(STATUS "Font: ${KELVRA_FONT_FILE}, its licence from ${KELVRA_FONT_COPYRIGHT}")
