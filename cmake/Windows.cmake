# The Windows build, cross-compiled with MinGW-w64 (tools/build-windows): a GUI program that needs
# nothing beyond what every Windows has, with its icon, version and manifest; the wide builds of the
# gravity kernel made safe on Windows' stack; and the programs of the tests run under Wine.

# Windows' GL headers include <windows.h> unless these are defined, and <windows.h> would clash with
# the Win32-style names the program's own headers declare (MSG, HWND, WM_*, MessageBox, WinMain).
# The program has its own main(), so SDL's does not stand in for it.
target_compile_definitions(kelvra_core PUBLIC "WINGDIAPI=__declspec(dllimport)" APIENTRY=__stdcall
                           CALLBACK=__stdcall SDL_MAIN_HANDLED)
# M_PI and the other constants of <cmath>, which the C runtime keeps behind this switch.
target_compile_definitions(kelvra_core PUBLIC _USE_MATH_DEFINES)

# Everything linked statically, so that the programs need only Windows' own DLLs; kelvra.exe is a GUI
# program, started without a console window.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -static")
# No link time in the program's header: two builds of one source give the same bytes.
string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--no-insert-timestamp")
target_link_options(kelvra PRIVATE -mwindows)

# The icon in the sizes Explorer, the taskbar and the Start menu use, drawn from the star sprite by
# the build machine's make_icon.
set(KELVRA_ICON ${CMAKE_BINARY_DIR}/kelvra.ico)
add_custom_command(
  OUTPUT ${KELVRA_ICON}
  COMMAND ${KELVRA_HOST_BUILD}/make_icon ${CMAKE_SOURCE_DIR}/assets/star.tga 16,24,32,48,64,256 ${KELVRA_ICON}
  DEPENDS ${KELVRA_HOST_BUILD}/make_icon ${CMAKE_SOURCE_DIR}/assets/star.tga
  COMMENT "Drawing the Windows icon")
enable_language(RC)
set(KELVRA_MANIFEST ${CMAKE_BINARY_DIR}/kelvra.manifest)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/kelvra.manifest ${KELVRA_MANIFEST} @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/kelvra.rc.in ${CMAKE_BINARY_DIR}/kelvra.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/kelvra.rc PROPERTIES OBJECT_DEPENDS "${KELVRA_ICON};${KELVRA_MANIFEST}")
target_sources(kelvra PRIVATE ${CMAKE_BINARY_DIR}/kelvra.rc)

# The tests' Windows programs run under Wine, each user of them with a Wine prefix of its own.
set(KELVRA_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/windows/wine-run ${KELVRA_WINE_DIR})

# GCC for 64-bit Windows keeps the stack aligned to 16 bytes only, yet may spill 32- and 64-byte
# vectors there with aligned moves, which fault. For the kernel's wide builds the assembler writes
# every aligned vector move in its unaligned form, which is as fast on aligned data and never faults.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/galaxy_kernel_avx2.cpp ${CMAKE_SOURCE_DIR}/src/galaxy_kernel_avx512.cpp
             APPEND PROPERTY COMPILE_OPTIONS -Wa,-muse-unaligned-vector-move)
