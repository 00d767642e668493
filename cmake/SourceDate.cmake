# The packages' archives carry the date of the latest changelog entry, not the time of the build, so
# that two builds of one source give the same bytes: CPack takes its time stamps from
# SOURCE_DATE_EPOCH, which Debian's reproducible builds set the same way (a value the caller set is
# kept). kelvra_cpack_project_config(FILE CHANGELOG [LINE...]) writes the script CPack runs before it
# packages, with the LINEs after it, and makes it CPack's project config file.
function(kelvra_cpack_project_config file changelog)
  set(body "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND dpkg-parsechangelog -l \"${changelog}\" -S Timestamp
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES \"^[0-9]+$\")
    message(FATAL_ERROR \"cannot read the date of ${changelog} with dpkg-parsechangelog (dpkg-dev)\")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} \${epoch})
endif()
")
  foreach(line IN LISTS ARGN)
    string(APPEND body "${line}\n")
  endforeach()
  file(WRITE ${file} "${body}")
  set(CPACK_PROJECT_CONFIG_FILE ${file} PARENT_SCOPE)
endfunction()
