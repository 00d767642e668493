# Sanitizer builds: keep Mesa's software driver mapped until the process ends (see
# tests/sanitizer/keep_mesa_driver.cpp). Every program linking kelvra_core compiles the opener in.
find_file(MESA_SWRAST_DRIVER swrast_dri.so
          PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri /usr/lib64/dri /usr/lib/dri NO_DEFAULT_PATH)
if(MESA_SWRAST_DRIVER)
  target_sources(kelvra_core INTERFACE ${CMAKE_SOURCE_DIR}/tests/sanitizer/keep_mesa_driver.cpp)
  target_compile_definitions(kelvra_core INTERFACE KELVRA_MESA_DRIVER="${MESA_SWRAST_DRIVER}")
  target_link_libraries(kelvra_core INTERFACE ${CMAKE_DL_LIBS})
endif()
