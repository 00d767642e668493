# Sanitizer builds: keep Mesa's software driver mapped until the process ends.
#
# Mesa unloads its driver when the X display closes, before LeakSanitizer scans the heap at exit; what
# the driver still holds then shows as leaks of an unknown module, which no suppression can name.
# Linked as a dependency the driver stays mapped to the end and its blocks stay reachable from its own
# data. The driver lives outside the library path under its own file name, so the build links it
# through a link named after its SONAME in the build tree, which the run path finds.
find_file(MESA_SWRAST_DRIVER swrast_dri.so
          PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri /usr/lib64/dri /usr/lib/dri NO_DEFAULT_PATH)
if(MESA_SWRAST_DRIVER)
  execute_process(COMMAND objdump -p ${MESA_SWRAST_DRIVER} OUTPUT_VARIABLE driver_headers ERROR_QUIET)
  string(REGEX MATCH "SONAME +([^ \n]+)" soname_line "${driver_headers}")
  set(driver_name ${CMAKE_MATCH_1})
  if(NOT driver_name)
    set(driver_name swrast_dri.so)
  endif()
  set(driver_dir ${CMAKE_BINARY_DIR}/mesa-driver)
  file(MAKE_DIRECTORY ${driver_dir})
  file(CREATE_LINK ${MESA_SWRAST_DRIVER} ${driver_dir}/${driver_name} SYMBOLIC)
  target_link_libraries(kelvra_core PUBLIC -Wl,--no-as-needed ${driver_dir}/${driver_name} -Wl,--as-needed)
endif()
