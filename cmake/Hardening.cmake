# The hardening every Debian package gets, for the Linux builds: what `dpkg-buildflags` gives on
# Debian 12 (a position-independent executable, the strong stack protector, glibc's fortified
# functions, the format-string checks, full RELRO) with immediate binding, and the CPU's control-flow
# protection. Each flag is named here rather than taken from `dpkg-buildflags`, whose CFLAGS also
# bring -g -O2 after the build type's -O3 and a -ffile-prefix-map tied to the source's path.
# None of them changes floating-point code: no contraction, no instruction set.
#
# The Windows build has its own linker and none of these; the sanitizer, thread-sanitizer and fuzz
# builds check far more at run time, and glibc's fortified functions would bypass AddressSanitizer's own.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR KELVRA_SANITIZE OR KELVRA_TSAN OR KELVRA_FUZZ)
  return()
endif()

# _FORTIFY_SOURCE needs the optimiser: an unoptimised Debug build would only warn about it.
add_compile_options(-fPIE -fstack-protector-strong -Wformat -Werror=format-security
                    $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
add_link_options(-pie -Wl,-z,relro -Wl,-z,now)

# Control-flow protection is the CPU's own: Intel's CET marks on x86, branch protection on arm64.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86)$")
  add_compile_options(-fcf-protection)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  add_compile_options(-mbranch-protection=standard)
endif()
