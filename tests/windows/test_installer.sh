#!/usr/bin/env bash
# test_installer.sh SETUP.exe WINE_DIR: the installer as a user meets it, under Wine in a prefix of
# its own. A silent install (/S) puts the program, its README, licence and the licences of what it
# holds into Program Files\Kelvra, with a Start-menu entry and an uninstaller registered with
# Windows; the Start-menu entry starts the installed program, which shows the start screen and the
# first prompt, takes the four default answers and ends with status 0 on Escape, writing nothing
# into its installation folder; the silent uninstall then leaves the prefix as it found it.
here=$(cd "$(dirname "$0")" && pwd)
SETUP=$(readlink -f "${1:?path of the installer}")
WINE_DIR=${2:?wine directory}
# lib.sh wants the program under test; here that is the installed one, started through wine-run.
source "$here/../e2e/lib.sh" "$here/kelvra-wine"
source "$here/../e2e/lib_robust.sh"
KEEP_SHOTS_DIR=${KEEP_SHOTS_DIR:-$PWD/e2e-artifacts/test_installer}
export KELVRA_WINEPREFIX=$WORK/prefix
PREFIX=$KELVRA_WINEPREFIX

wine_run() { "$here/wine-run" "$WINE_DIR" "$@"; }
end_wine() { WINEPREFIX=$PREFIX wineserver -k 2>/dev/null; WINEPREFIX=$PREFIX wineserver -w 2>/dev/null; }
trap 'end_wine; cleanup' EXIT
[ -n "${KEEP_PREFIX:-}" ] && trap end_wine EXIT

# Every file and folder of the Windows side, but the user's temporary folder, which Windows empties
# itself (NSIS leaves its uninstaller's copy there until the next start of Windows).
listing() {
  (cd "$PREFIX/drive_c" && find . -path './users/*/Temp' -prune -o -print | LC_ALL=C sort)
}
# reg_key KEY: 0 when the registry key exists.
reg_key() { wine_run reg query "$1" >/dev/null 2>&1; }

APP='Program Files/Kelvra'
MENU='ProgramData/Microsoft/Windows/Start Menu/Programs/Kelvra'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvra'
VENDOR_KEY='HKLM\Software\Kelvra'

start_xvfb 1024x768
wine_run cmd /c exit 0 || fail "cannot start Wine"
listing >"$WORK/before"
reg_key "$UNINSTALL_KEY" && fail "Kelvra is registered before it is installed"

# ---- Silent install ------------------------------------------------------------------------------
wine_run "$SETUP" /S || fail "the silent install failed (status $?)"
WINEPREFIX=$PREFIX wineserver -w
for f in kelvra.exe README.txt LICENSE.txt Uninstall.exe licenses/THIRD-PARTY.txt licenses/SDL2.txt \
         licenses/FreeType.txt licenses/LiberationMono.txt licenses/MinGW-w64.txt; do
  [ -s "$PREFIX/drive_c/$APP/$f" ] || fail "not installed: $APP/$f"
done
for f in Kelvra.lnk Uninstall.lnk; do
  [ -s "$PREFIX/drive_c/$MENU/$f" ] || fail "no Start-menu entry $MENU/$f"
done
reg_key "$UNINSTALL_KEY" || fail "the uninstaller is not registered with Windows"
grep -q 'Portions of this software are copyright' "$PREFIX/drive_c/$APP/licenses/THIRD-PARTY.txt" ||
  fail "FreeType's credit is missing"

# ---- The installed program, started from its Start-menu entry -------------------------------------
# `start` hands the entry to the shell, which starts the program and returns at once, even with /wait:
# the program is followed by its own process and window. (Its exit status on Escape, which `start`
# cannot report, is checked where the end-to-end tests run kelvra.exe itself.)
installed_running() { pgrep -f 'Program Files.Kelvra.kelvra\.exe' >/dev/null; }
installed_gone() { ! installed_running && ! xdotool search --name '^Kelvra$' >/dev/null 2>&1; }
(cd "$WORK" && wine_run start /unix "$PREFIX/drive_c/$MENU/Kelvra.lnk") >"$WORK/kelvra.out" 2>&1 ||
  fail "the Start-menu entry could not be started: $(cat "$WORK/kelvra.out")"
wait_for "the program the Start-menu entry starts" installed_running
wait_for "the star count prompt of the program the Start-menu entry starts" on_prompt 0
cp "$WORK/now.png" "$WORK/installed-start.png"
[ "$(count_colour "$WORK/installed-start.png" 440 170 144 36 217 217 0 2)" -ge 100 ] || fail "no program name on the start screen"
[ "$(count_colour "$WORK/installed-start.png" 301 350 3 40 204 204 0 2)" -ge 100 ] || fail "no star prompt box"
[ "$(count_colour "$WORK/installed-start.png" 556 355 60 30 51 255 51 2)" -ge 40 ] || fail "no initial star count in the prompt"
# Escape cancels each prompt, which keeps its default, and then ends the program.
for i in 0 1 2 3; do
  wait_for "the ${PROMPT_NAMES[$i]} prompt" on_prompt $i
  key Escape
done
wait_for "the star field after the prompts" in_evolution
expect_stars 1500
xdo "Escape to quit" key Escape
wait_for "the installed program ended after Escape" installed_gone
[ ! -e "$PREFIX/drive_c/$APP/kelvra.log" ] || fail "the program wrote a log into its installation folder"
# The program has ended; so has every process of the session before the user uninstalls.
WINEPREFIX=$PREFIX wineserver -w

# ---- Silent uninstall ----------------------------------------------------------------------------
wine_run "C:\\Program Files\\Kelvra\\Uninstall.exe" /S || fail "the silent uninstall failed"
WINEPREFIX=$PREFIX wineserver -w
reg_key "$UNINSTALL_KEY" && fail "the uninstaller is still registered"
reg_key "$VENDOR_KEY" && fail "the registry key $VENDOR_KEY is left behind"
listing >"$WORK/after"
if ! diff "$WORK/before" "$WORK/after" >"$WORK/left"; then
  cat "$WORK/left" >&2
  fail "the uninstall left the files above behind"
fi
echo "PASS"
