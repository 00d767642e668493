# The hardening of the Linux builds: on Debian and its derivatives, the flags with which the release
# builds its own packages, as `dpkg-buildflags` gives them for the target's architecture (with every
# hardening feature on, immediate binding included); elsewhere the flags Debian 12 uses. Either way a
# position-independent executable, and the CPU's control-flow protection (Intel's CET marks on x86,
# branch protection on arm64) where the release's flags leave it out.
# Of dpkg-buildflags' output the optimisation and debugging flags and the path maps are left out (the
# build type sets the first, and the others tie the build to the source's path), and so is anything
# that would change floating-point code or pick an instruction set: a seed must evolve bit for bit
# alike on every build.
#
# The Windows build has its own linker and none of these; the sanitizer, thread-sanitizer and fuzz
# builds check far more at run time, and glibc's fortified functions would bypass AddressSanitizer's own.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR KELVRA_SANITIZE OR KELVRA_TSAN OR KELVRA_FUZZ)
  return()
endif()

# kelvra_dpkg_buildflags(KIND OUT): dpkg-buildflags' KIND flags (CXXFLAGS, CPPFLAGS, LDFLAGS) for the
# target's Debian architecture as a list, or nothing where dpkg-buildflags cannot tell.
function(kelvra_dpkg_buildflags kind out)
  set(${out} "" PARENT_SCOPE)
  find_program(KELVRA_DPKG_BUILDFLAGS dpkg-buildflags)
  find_program(KELVRA_DPKG_ARCHITECTURE dpkg-architecture)
  if(NOT KELVRA_DPKG_BUILDFLAGS OR NOT KELVRA_DPKG_ARCHITECTURE)
    return()
  endif()
  set(target)
  if(CMAKE_CROSSCOMPILING)
    set(target -t ${CMAKE_LIBRARY_ARCHITECTURE})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${KELVRA_DPKG_ARCHITECTURE} ${target} -c ${KELVRA_DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE flags ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    return()
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|f(file|debug|macro)-prefix-map=.*)$")
  list(FILTER flags EXCLUDE REGEX "^-(ffast-math|ffp-contract=.*|funsafe-math-optimizations|march=.*|mtune=.*|mcpu=.*|mfpu=.*|mfma.*|mavx.*)$")
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

kelvra_dpkg_buildflags(CXXFLAGS KELVRA_HARDENING_CXXFLAGS)
kelvra_dpkg_buildflags(CPPFLAGS KELVRA_HARDENING_CPPFLAGS)
kelvra_dpkg_buildflags(LDFLAGS KELVRA_HARDENING_LDFLAGS)
if(KELVRA_HARDENING_CXXFLAGS OR KELVRA_HARDENING_LDFLAGS)
  set(KELVRA_HARDENING_SOURCE "dpkg-buildflags")
else()
  set(KELVRA_HARDENING_SOURCE "Debian 12's flags")
  set(KELVRA_HARDENING_CXXFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
  set(KELVRA_HARDENING_CPPFLAGS -D_FORTIFY_SOURCE=2)
  set(KELVRA_HARDENING_LDFLAGS -Wl,-z,relro -Wl,-z,now)
endif()

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86)$")
  if(NOT KELVRA_HARDENING_CXXFLAGS MATCHES "-fcf-protection")
    list(APPEND KELVRA_HARDENING_CXXFLAGS -fcf-protection)
  endif()
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  if(NOT KELVRA_HARDENING_CXXFLAGS MATCHES "-mbranch-protection")
    list(APPEND KELVRA_HARDENING_CXXFLAGS -mbranch-protection=standard)
  endif()
endif()
string(REPLACE ";" " " shown "${KELVRA_HARDENING_CPPFLAGS};${KELVRA_HARDENING_CXXFLAGS};${KELVRA_HARDENING_LDFLAGS}")
message(STATUS "Hardening (${KELVRA_HARDENING_SOURCE}): ${shown}")

# _FORTIFY_SOURCE needs the optimiser: an unoptimised Debug build would only warn about it.
set(fortify ${KELVRA_HARDENING_CPPFLAGS})
list(FILTER fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE")
list(FILTER KELVRA_HARDENING_CPPFLAGS EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
add_compile_options(-fPIE ${KELVRA_HARDENING_CXXFLAGS} ${KELVRA_HARDENING_CPPFLAGS}
                    "$<$<NOT:$<CONFIG:Debug>>:${fortify}>")
add_link_options(-pie ${KELVRA_HARDENING_LDFLAGS})
