# Sourced by the builds that compile libraries from Debian's own source packages (tools/build-windows,
# tools/build-web): apt-get source through a private deb-src list made from the machine's Debian
# entries, each package at the newest version whose files the archive hands out; the machine's apt
# configuration stays as is.
# The sourcing script sets `label` (the name its messages start with) and `sources` (the directory the
# packages are unpacked in; versions/PACKAGE there holds the version taken), then calls
# fetch_sources DESCRIPTION PACKAGE...

step() { echo "== $label: $*"; }

# run LOG COMMAND...: runs a command with its output in LOG, shown only when it fails.
run() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { tail -n 60 "$log"; echo "$label: failed, see $log" >&2; return 1; }
}

# The deb-src twins of the machine's Debian entries, in both formats apt reads.
write_source_list() {
  local apt=$1 f
  : >"$apt/sources.list"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    grep -E '^[[:space:]]*deb[[:space:]]' "$f" | grep -E '/debian(-security)?/?[[:space:]]' |
      sed 's/^[[:space:]]*deb/deb-src/' >>"$apt/sources.list" || true
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # One stanza per blank-line-separated block; keep those of Debian's archives, as source entries.
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /URIs:[^\n]*\/debian(-security)?\/?([ \t\n]|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
      "$f" >"$apt/parts/${f##*/}"
  done
  if ! grep -qs . "$apt/sources.list" "$apt"/parts/*.sources; then
    echo "$label: no Debian archive found in the machine's apt sources" >&2
    return 1
  fi
}

# newest_first: the Debian versions on standard input, one a line, newest first, in dpkg's order.
newest_first() {
  local versions=() v i
  while read -r v; do
    for ((i = ${#versions[@]}; i > 0; i--)); do
      dpkg --compare-versions "${versions[i - 1]}" ge "$v" && break
      versions[i]=${versions[i - 1]}
    done
    versions[i]=$v
  done
  printf '%s\n' "${versions[@]}" | uniq
}

# fetch_source PACKAGE: the newest version of a source package whose files the archive hands out.
# An index may list a version before its files reach the mirror (a point release, for a day or so):
# then the one before it is taken, and the step says so. Its version is kept in versions/PACKAGE.
fetch_source() {
  local package=$1 version tried=()
  for version in $(apt-cache "${apt_opts[@]}" showsrc --only-source "$package" | sed -n 's/^Version: //p' |
                   newest_first); do
    if (cd "$sources" && apt-get "${apt_opts[@]}" source --only-source "$package=$version") \
        >"$sources/apt-source-$package.log" 2>&1; then
      [ ${#tried[@]} -eq 0 ] || echo "== $label: $package ${tried[*]} could not be fetched; taking $version"
      echo "$version" >"$sources/versions/$package"
      return 0
    fi
    tried+=("$version")
    rm -rf "$sources/$package"_* "$sources/$package"-*/
  done
  tail -n 20 "$sources/apt-source-$package.log"
  echo "$label: no version of the source package $package could be fetched (${tried[*]:-none listed})" >&2
  return 1
}

# fetch_sources DESCRIPTION PACKAGE...: the packages unpacked in $sources, once; a later run finds
# them there.
fetch_sources() {
  local description=$1 package fetched=1
  shift
  for package in "$@"; do
    [ -f "$sources/versions/$package" ] || fetched=0
  done
  [ $fetched = 0 ] || return 0
  step "fetching the $description source packages"
  rm -rf "$sources"
  local apt=$sources/apt
  mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial" "$sources/versions"
  write_source_list "$apt"
  apt_opts=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts"
            -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User="$(id -un)")
  run "$sources/apt-update.log" apt-get "${apt_opts[@]}" update
  for package in "$@"; do
    fetch_source "$package" || return 1
  done
}

# source_tree PACKAGE: the directory its source package was unpacked into.
source_tree() {
  local tree
  tree=$(compgen -G "$sources/$1-*/CMakeLists.txt" | head -n 1)
  echo "${tree%/CMakeLists.txt}"
}

# The copyright years the libraries' own notices give, for the notices of what the programs hold:
# sdl_years SDL_SOURCE_TREE, freetype_year FREETYPE_SOURCE_TREE.
sdl_years() { sed -n 's/^ *Copyright (C) \([0-9-]*\) Sam Lantinga.*/\1/p' "$1/LICENSE.txt" | head -n 1; }
freetype_year() { sed -n 's/.*Copyright (C) [0-9]*-\([0-9]*\) by.*/\1/p' "$1/include/freetype/freetype.h" | head -n 1; }
