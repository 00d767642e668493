#!/usr/bin/env bash
# tools/install-deps on a system without apt: it names what to install, by the libraries' own names,
# and fails, where a missing apt-get must not surface as a shell's "command not found".
# $1 is tools/install-deps.
set -u
bin=$(mktemp -d /tmp/kelvra-noapt.XXXXXX)
trap 'rm -rf "$bin"' EXIT
for tool in bash id grep sed cut head cat mktemp; do ln -s "$(command -v "$tool")" "$bin/$tool"; done
for profile in "" test; do
  out=$(env -i PATH="$bin" bash "$1" $profile 2>&1)
  status=$?
  [ $status -ne 0 ] || { echo "FAIL: install-deps $profile succeeded without apt"; exit 1; }
  for name in "Debian and its derivatives" SDL2 Xlib FreeType OpenGL GLU "Liberation Mono" CMake; do
    grep -qF "$name" <<<"$out" || { echo "FAIL: install-deps $profile does not name $name:"; echo "$out"; exit 1; }
  done
  ! grep -qiE "not found|no such file" <<<"$out" || { echo "FAIL: install-deps $profile: $out"; exit 1; }
done
echo PASS
