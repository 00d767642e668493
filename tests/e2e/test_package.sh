#!/usr/bin/env bash
# The Debian package, end to end: built with CPack from this build directory, checked by Debian's own
# tools (lintian, hardening-check, appstreamcli, desktop-file-validate), installed with dpkg into a
# scratch root (the machine's own dpkg database is never touched), checked file by file, the
# installed program run in a private X server until Escape ends it, and purged again without a trace.
# Needs no network. $1 is the kelvra binary of the build directory whose package is tested; $2, for
# a cross build's package (arm64 on an amd64 machine), the emulator that runs its program here.
. "$(dirname "$0")/lib.sh"
BUILD_DIR=$(dirname "$KELVRA")
EMULATOR=${2:-}
case $EMULATOR in */*) EMULATOR=$(readlink -f "$EMULATOR") ;; esac
ROOT=$WORK/root
ADMIN=$ROOT/var/lib/dpkg
ICON_SIZES="16 32 48 64 128 256"
METAINFO_NAME=org.example.kelvra.metainfo.xml
[ -f "$BUILD_DIR/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $BUILD_DIR"

# A sanitizer build's package is for the install and run checks only: its program is instrumented and
# built without the release hardening on purpose, and no one ships it to Debian's archive.
RELEASE=1
readelf -d "$KELVRA" | grep -q 'NEEDED.*libasan' && RELEASE=0

host_state() { dpkg-query -W -f='${Status}' kelvra 2>/dev/null; ls -d /usr/games/kelvra 2>/dev/null; }
HOST_BEFORE=$(host_state)

# A configuration that leaves manual pages out of installs would hide the one under test.
in_root() { dpkg --root="$ROOT" --log="$WORK/dpkg.log" --path-include="/usr/share/man/*" "$@"; }
[ "$(id -u)" -eq 0 ] || in_root() {
  dpkg --root="$ROOT" --log="$WORK/dpkg.log" --path-include="/usr/share/man/*" --force-not-root "$@"
}

build_package() {
  cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log" "$WORK"/pkg/_CPack_Packages/*/DEB/PreinstallOutput.log >&2; fail "cpack failed"; }
  DEB=$(ls "$WORK"/pkg/kelvra_*.deb 2>/dev/null | head -n 1)
  [ -n "$DEB" ] || fail "cpack made no kelvra .deb"
  ARCH=$(dpkg-deb -f "$DEB" Architecture)
  [ "$(basename "$DEB")" = "kelvra_$(dpkg-deb -f "$DEB" Version)_$ARCH.deb" ] || fail "the package is named $(basename "$DEB")"
}

# The package holds exactly the program, its desktop entry, the icons, the software-centre entry,
# the manual page, the copyright and the changelog, where Debian puts a game's files.
check_contents() {
  local expected actual
  expected=$( {
    echo ./usr/games/kelvra
    echo ./usr/share/applications/kelvra.desktop
    echo ./usr/share/man/man6/kelvra.6.gz
    echo ./usr/share/metainfo/$METAINFO_NAME
    echo ./usr/share/doc/kelvra/copyright
    echo ./usr/share/doc/kelvra/changelog.gz
    for s in $ICON_SIZES; do echo ./usr/share/icons/hicolor/${s}x$s/apps/kelvra.png; done
  } | sort)
  actual=$(dpkg-deb --fsys-tarfile "$DEB" | tar -t | grep -v '/$' | sort)
  [ "$actual" = "$expected" ] || fail "package contents differ:
$(diff <(echo "$expected") <(echo "$actual"))"
  [ "$(dpkg-deb -f "$DEB" Section)" = games ] || fail "section is not games"
  [ "$(dpkg-deb -f "$DEB" Package)" = kelvra ] || fail "package is not named kelvra"
}

# Every time stamp in the package is the date of its changelog's latest entry, so that two builds of
# one source give the same bytes: the archive members and every file of the data and control parts.
check_dates() {
  local epoch stamp part
  epoch=$(dpkg-parsechangelog -l "$BUILD_DIR/packaging/changelog" -S Timestamp)
  [ -n "$epoch" ] || fail "no date in $BUILD_DIR/packaging/changelog"
  # ar shows its members' times to the minute.
  while read -r stamp; do
    [ $(($(date -u -d "$stamp" +%s) / 60)) = $((epoch / 60)) ] || fail "the package's member dated $stamp, not $(date -u -d @"$epoch")"
  done < <(TZ=UTC ar tv "$DEB" | awk '{ print $5, $4, $7, $6 }')
  for part in --fsys-tarfile --ctrl-tarfile; do
    while read -r stamp; do
      [ "$(date -u -d "$stamp" +%s)" = "$epoch" ] || fail "a file of the package dated $stamp, not $(date -u -d @"$epoch")"
    done < <(dpkg-deb $part "$DEB" | tar -tv --full-time --utc | awk '{ print $4, $5 }')
  done
}

# Depends must name the package of every shared library the program is linked against, and nothing
# else: each alternative group has to own one of those libraries.
check_depends() {
  local depends lib owners group found needed_pkgs="" pkg
  depends=$(dpkg-deb -f "$DEB" Depends)
  [ -n "$depends" ] || fail "the package has no Depends"
  dpkg-deb -x "$DEB" "$WORK/extract"
  for lib in $(readelf -d "$WORK/extract/usr/games/kelvra" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    owners=$(dpkg -S "*/$lib" 2>/dev/null | grep -v '^diversion' | sed 's/: \/.*//' | tr ',' '\n' |
      sed 's/:.*//; s/ //g' | sort -u)
    [ -n "$owners" ] || fail "no installed package owns $lib"
    found=0
    for pkg in $owners; do
      echo "$depends" | tr ',|' '\n\n' | sed 's/(.*)//; s/ //g' | grep -qx "$pkg" && found=1
    done
    [ $found -eq 1 ] || fail "Depends ($depends) lacks the package of $lib ($owners)"
    needed_pkgs="$needed_pkgs $owners"
  done
  while read -r group; do
    found=0
    for pkg in $(echo "$group" | tr '|' '\n' | sed 's/(.*)//; s/ //g'); do
      echo "$needed_pkgs" | tr ' ' '\n' | grep -qx "$pkg" && found=1
    done
    [ $found -eq 1 ] || fail "Depends names $group, which provides none of the program's libraries"
  done < <(echo "$depends" | tr ',' '\n')
}

# What Debian's archive asks of a package: lintian, pedantic and experimental tags included, finds
# nothing to say.
check_lintian() {
  local tags status=0
  tags=$(lintian --pedantic -I -E --fail-on error,warning,info,pedantic,experimental "$DEB" 2>"$WORK/lintian.err") ||
    status=$?
  [ -z "$tags" ] || fail "lintian complains about the package:
$tags"
  [ $status -eq 0 ] || { cat "$WORK/lintian.err" >&2; fail "lintian failed with status $status"; }
}

install_into_root() {
  mkdir -p "$ADMIN/info" "$ADMIN/updates" "$ADMIN/triggers"
  touch "$ADMIN/status" "$ADMIN/available"
  # A foreign architecture's package installs like any other where dpkg knows the architecture.
  [ "$ARCH" = "$(dpkg --print-architecture)" ] || in_root --add-architecture "$ARCH"
  # The libraries come from the machine itself; the scratch root only receives the package.
  in_root --force-depends -i "$DEB" >"$WORK/dpkg-install.log" 2>&1 ||
    { cat "$WORK/dpkg-install.log" >&2; fail "dpkg could not install the package"; }
  [ "$(dpkg-query --admindir="$ADMIN" -W -f='${Status}' kelvra)" = "install ok installed" ] ||
    fail "dpkg does not list kelvra as installed in the scratch root"
}

# The packaged program is hardened as the release hardens its own programs: every line of
# hardening-check's report that one of the release's own programs here passes, it passes too. Where
# hardening-check cannot tell ("unknown": no stack large enough to probe, no libc function to fortify,
# or, for another architecture's program, code it cannot read), the program must have been compiled
# with the flag that line is about.
# Control-flow protection is the CPU's own and needs every object linked in to carry it: on x86 the
# mark hardening-check reads, which the linker sets only where the C library's start files (Scrt1.o,
# crti.o) carry it too, as Debian 12's and 13's do not; on arm64 BTI and PAC, which hardening-check
# reads the same way. Where the start files carry no mark, main must begin with the landing pad the
# flag puts at every function (endbr64; bti c or paciasp). The packaged program is stripped, so main
# is found in the build tree's, whose code the packaged one must hold byte for byte.
HARDENING_REFERENCES="/usr/bin/bash /usr/bin/dpkg /usr/bin/ls /usr/bin/tar"

# verdicts PROGRAM: hardening-check's report on PROGRAM, a line "NAME<tab>yes|no|unknown" for each check.
verdicts() { hardening-check "$1" 2>/dev/null | sed -n 's/^ \([^:]*\): \([a-z]*\).*/\1\t\2/p'; }

# compiled_with FLAG: the program's own code was compiled with FLAG.
compiled_with() { grep -q -- "$1" "$BUILD_DIR/CMakeFiles/kelvra_core.dir/flags.make"; }

check_control_flow() {
  local cross=$1 mark pad
  case $ARCH in
    amd64 | i386) mark='x86 feature: IBT, SHSTK' pad='endbr64' ;;
    arm64) mark='AArch64 feature: BTI, PAC' pad='(bti\s+c|paciasp)' ;;
    *) return 0 ;;
  esac
  if readelf -n "$(${cross}g++ -print-file-name=Scrt1.o)" | grep -q "$mark"; then
    readelf -n "$ROOT/usr/games/kelvra" | grep -q "$mark" || fail "the program is not marked for control-flow protection ($mark)"
  else
    ${cross}objdump -d --disassemble=main "$KELVRA" | grep -A1 '<main>:' | grep -qE "\s$pad\b" ||
      fail "the program was built without control-flow protection: main begins with no $pad"
  fi
}

check_hardening() {
  local program=$ROOT/usr/games/kelvra cross="" required name verdict flag
  [ "$ARCH" = "$(dpkg --print-architecture)" ] || cross=$(dpkg-architecture -a "$ARCH" -qDEB_HOST_GNU_TYPE 2>/dev/null)-
  ${cross}objcopy -O binary --only-section=.text "$program" "$WORK/packaged.text" &&
    ${cross}objcopy -O binary --only-section=.text "$KELVRA" "$WORK/built.text" ||
    fail "cannot read the code of the packaged program"
  cmp -s "$WORK/packaged.text" "$WORK/built.text" || fail "the packaged program's code is not the build tree's"
  check_control_flow "$cross"
  required=$(for ref in $HARDENING_REFERENCES; do verdicts "$ref"; done | awk -F'\t' '$2 == "yes" { print $1 }' | sort -u)
  [ -n "$required" ] || fail "hardening-check reports nothing on the release's own programs ($HARDENING_REFERENCES)"
  verdicts "$program" >"$WORK/hardening"
  while IFS= read -r name; do
    verdict=$(awk -F'\t' -v n="$name" '$1 == n { print $2 }' "$WORK/hardening")
    # The control-flow marks are checked above; hardening-check reads only x86 code for stack probes.
    case $name in "Control flow integrity" | "Branch Protection") [ -z "$cross" ] || continue ;; esac
    [ "$name" = "Stack clash protection" ] && [ -n "$cross" ] && verdict=unknown
    [ "$verdict" = yes ] && continue
    case $name in
      "Stack clash protection") flag=-fstack-clash-protection ;;
      "Fortify Source functions") flag=-D_FORTIFY_SOURCE ;;
      *) flag= ;;
    esac
    [ "$verdict" = unknown ] && [ -n "$flag" ] && compiled_with "$flag" && continue
    fail "hardening-check: '$name: $verdict', which the release's own programs pass:
$(hardening-check "$program" 2>&1)"
  done <<<"$required"
}

# The changelog is one dpkg reads, for the package's version and by its maintainer; the copyright file
# is Debian's machine-readable one and carries the full licence of the font compiled into the program.
check_changelog_and_copyright() {
  local doc=$ROOT/usr/share/doc/kelvra field
  zcat "$doc/changelog.gz" >"$WORK/changelog" || fail "changelog.gz is not gzip"
  for field in Version Maintainer; do
    [ "$(dpkg-parsechangelog -l "$WORK/changelog" -S $field)" = "$(dpkg-deb -f "$DEB" $field)" ] ||
      fail "the changelog's $field is not the package's: $(dpkg-parsechangelog -l "$WORK/changelog" -S $field)"
  done
  head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in Debian's machine-readable format"
  grep -q '^License: Expat$' "$doc/copyright" && grep -q '^ Permission is hereby granted' "$doc/copyright" ||
    fail "the copyright file lacks Kelvra's MIT licence"
  grep -q '^Files: LiberationMono-Bold.ttf$' "$doc/copyright" && grep -q '^ SIL OPEN FONT LICENSE Version 1.1' "$doc/copyright" &&
    grep -q 'Reserved Font Name Liberation' "$doc/copyright" || fail "the copyright file lacks the font's licence"
}

# The software-centre entry validates with the tree it is installed in (its desktop entry there), and
# names the package's version as its latest release.
# The entry is written as AppStream 1.0 asks, the developer named in <developer>. A validator older
# than 1.0 (Debian 12's 0.16) does not know that tag yet, and its readers skip what they do not know:
# that one remark of theirs is all it may say.
check_metainfo() {
  local report remarks version
  # A failure that makes no remark is a remark of its own.
  if report=$(appstreamcli validate-tree --pedantic --strict --no-net "$ROOT" 2>&1); then
    remarks=$(echo "$report" | grep '^ *[EWIP]: ')
  else
    remarks=$(echo "$report" | grep '^ *[EWIP]: ' || echo "$report")
  fi
  dpkg --compare-versions "$(appstreamcli --version | sed -n 's/^AppStream version: *//p')" ge 1.0 ||
    remarks=$(echo "$remarks" | grep -v '^ *I: [^ ]*: unknown-tag developer$')
  [ -z "$remarks" ] || fail "appstreamcli rejects the software-centre entry:
$report"
  version=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$ROOT/usr/share/metainfo/$METAINFO_NAME" | head -n 1)
  [ "$version" = "$(dpkg-deb -f "$DEB" Version)" ] || fail "the latest release in the software-centre entry is '$version'"
}

check_desktop_entry() {
  local entry=$ROOT/usr/share/applications/kelvra.desktop exec
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects kelvra.desktop"
  grep -qx 'Categories=Game;Simulation;' "$entry" || fail "desktop entry lacks Categories=Game;Simulation;"
  grep -qx 'Icon=kelvra' "$entry" || fail "desktop entry does not name the kelvra icon"
  exec=$(sed -n 's/^Exec=//p' "$entry")
  [ "$exec" = /usr/games/kelvra ] || fail "desktop entry runs '$exec', not /usr/games/kelvra"
  [ -x "$ROOT$exec" ] || fail "the program the desktop entry runs is not installed"
}

# Each icon is a real RGBA PNG of its size: the star opaque and bright in the middle, the corners clear.
check_icons() {
  local s icon mid
  for s in $ICON_SIZES; do
    icon=$ROOT/usr/share/icons/hicolor/${s}x$s/apps/kelvra.png
    file -b "$icon" | grep -q "^PNG image data, $s x $s, 8-bit/color RGBA" || fail "$icon: $(file -b "$icon")"
    mid=$((s / 2))
    read -r alpha bright <<<"$(convert "$icon" -format "%[fx:int(255*p{$mid,$mid}.a)] %[fx:int(255*p{$mid,$mid}.intensity)]" info:)"
    [ "$alpha" -ge 200 ] && [ "$bright" -ge 150 ] || fail "${s}px icon: middle alpha $alpha brightness $bright"
    alpha=$(convert "$icon" -format "%[fx:int(255*p{0,0}.a)]" info:)
    [ "$alpha" -le 10 ] || fail "${s}px icon: corner alpha $alpha, not transparent"
  done
}

# The icon tool refuses what it cannot read, and reads rows stored either way up: the sprite's rows
# stored bottom first, with the header saying so, give the very same icon. A cross build draws its
# icons with the build machine's tool, from the native build it names.
check_icon_tool() {
  local tool=$BUILD_DIR/make_icon star=$(dirname "$0")/../../assets/star.tga
  [ -x "$tool" ] || tool=$(sed -n 's/^KELVRA_HOST_BUILD:PATH=//p' "$BUILD_DIR/CMakeCache.txt")/make_icon
  head -c 1000 "$star" >"$WORK/cut.tga"
  "$tool" "$WORK/cut.tga" 32 "$WORK/cut.png" 2>/dev/null && fail "make_icon took a truncated image"
  [ ! -e "$WORK/cut.png" ] || fail "make_icon wrote an icon from a truncated image"
  "$tool" "$star" 0 "$WORK/zero.png" 2>/dev/null && fail "make_icon took the size 0"
  "$tool" "$star" 32px "$WORK/px.png" 2>/dev/null && fail "make_icon took the size 32px"
  convert "$star" -flip -type TrueColor "$WORK/bottom-up.tga"
  printf '\000' | dd of="$WORK/bottom-up.tga" bs=1 seek=17 conv=notrunc status=none
  "$tool" "$WORK/bottom-up.tga" 48 "$WORK/bottom-up.png" || fail "make_icon refused a bottom-up TGA"
  "$tool" "$star" 48 "$WORK/top-down.png" || fail "make_icon refused the star image"
  cmp -s "$WORK/bottom-up.png" "$WORK/top-down.png" || fail "a bottom-up TGA gives another icon"
}

# The manual page renders without warnings and quotes the prompts as the installed program shows them.
check_manual() {
  local page=$ROOT/usr/share/man/man6/kelvra.6.gz text title warnings
  warnings=$(zcat "$page" | groff -man -ww -z -K utf8 2>&1)
  [ -z "$warnings" ] || fail "the manual page has roff warnings: $warnings"
  text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
  for title in "Stars (1-10000):" "Size (radius) in ly:" "Delta T in years:" "Seed (empty for random):"; do
    echo "$text" | grep -qF "$title" || fail "the manual page lacks the prompt '$title'"
  done
  for title in "Stars (1-%i):" "Size (radius) in ly:" "Delta T in years:" "Seed (empty for random):"; do
    grep -qaF "$title" "$ROOT/usr/games/kelvra" || fail "the program no longer asks '$title'"
  done
  for section in PROMPTS CONTROLS FILES; do
    echo "$text" | grep -qx "$section" || fail "the manual page lacks its $section section"
  done
  echo "$text" | grep -q 'kelvra\.log' || fail "the manual page does not name kelvra.log"
}

# The installed program: its window appears with the first prompt, the four prompts take 100 stars
# and three defaults (Escape cancels a prompt), the simulation runs with its overlay showing the 100
# stars, and Escape ends it with status 0. A stale log in its
# working directory is gone afterwards, since logging is off and every start deletes the file.
# A cross build's program runs under its emulator, through a stand-in that execs it.
run_installed_program() {
  KELVRA=$ROOT/usr/games/kelvra
  if [ -n "$EMULATOR" ]; then
    printf '#!/bin/sh\nexec "%s" "%s"\n' "$EMULATOR" "$KELVRA" >"$WORK/installed-kelvra"
    chmod +x "$WORK/installed-kelvra"
    KELVRA=$WORK/installed-kelvra
  fi
  echo stale >"$WORK/kelvra.log"
  start_xvfb 800x600
  start_kelvra
  answer_prompt 0 100 4
  # Escape cancels each of the other prompts, which keeps its default.
  wait_for "the radius prompt" on_prompt 1
  key Escape
  wait_for "the time step prompt" on_prompt 2
  key Escape
  wait_for "the seed prompt" on_prompt 3
  key Escape
  wait_for "the star field after the prompts" in_evolution
  expect_stars 100
  kill -0 "$APP_PID" 2>/dev/null || fail "the program ended before Escape in the simulation"
  xdo "Escape to quit" key Escape
  local rc
  rc=$(wait_exit "$STEP_SECONDS")
  [ "$rc" = 0 ] || fail "Escape did not end the installed program with status 0 (got $rc)"
  xdotool search --name '^Kelvra$' >/dev/null 2>&1 && fail "the Kelvra window outlived the program"
  [ ! -e "$WORK/kelvra.log" ] || fail "kelvra.log left in the working directory with logging off"
}

# Purging leaves nothing in the scratch root but dpkg's own records, and nothing on the machine.
purge_from_root() {
  in_root --purge kelvra >"$WORK/dpkg-purge.log" 2>&1 ||
    { cat "$WORK/dpkg-purge.log" >&2; fail "dpkg could not purge the package"; }
  local left
  left=$(cd "$ROOT" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/dpkg' \
    -not -path './var/lib/dpkg/*')
  [ -z "$left" ] || fail "purging left behind: $left"
  dpkg-query --admindir="$ADMIN" -W -f='${Status}' kelvra 2>/dev/null | grep -q 'install ok installed' &&
    fail "kelvra still listed as installed after the purge"
  [ "$(host_state)" = "$HOST_BEFORE" ] || fail "the machine's own kelvra installation changed"
}

build_package
check_contents
check_dates
check_depends
[ $RELEASE -eq 0 ] || check_lintian
install_into_root
[ $RELEASE -eq 0 ] || check_hardening
check_changelog_and_copyright
check_metainfo
check_desktop_entry
check_icons
check_icon_tool
check_manual
run_installed_program
purge_from_root
echo "package test passed: $(basename "$DEB")"
