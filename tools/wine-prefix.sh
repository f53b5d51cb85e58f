#!/usr/bin/env bash
# The Wine prefix that the Windows build's programs run in: one per machine
# and Wine version, kept under the user's cache folder, made again when it
# is missing or broken.  Making one takes a good part of a minute.
#   tools/wine-prefix.sh         prints its folder, making it first if need be
#   tools/wine-prefix.sh --copy  makes a private copy of it and prints the
#                                copy's folder, which the caller removes
# A copy is for a run that must share its prefix with no one (every Wine
# group of tools/test.sh has its own).  Wine only reads its program modules,
# so a copy, made beside the prefix, links them (700 MB) and copies the
# rest (the registry, the .ini files): that takes well under a second.
set -euo pipefail

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

version=$(wine --version)  # "wine-8.0 (Debian 8.0~repack-4)"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/fb
prefix=$cache/$(printf '%s' "$version" | tr -s -c 'A-Za-z0-9.+~-' '_' | sed 's/_$//')

# Wine brings a prefix up to date (rewriting its modules) when the stamp in
# it differs from its own wine.inf; a prefix is sound only when that will
# not happen, since copies share the modules.
wine_inf=$(dirname "$(readlink -f "$(command -v wine)")")/../share/wine/wine.inf
[[ -f $wine_inf ]] || wine_inf=/usr/share/wine/wine.inf

sound() {  # prefix folder
  [[ -f $1/.fb-made && -f $1/system.reg && -f $1/user.reg && -d $1/drive_c/windows/system32 ]] ||
    return 1
  [[ ! -f $wine_inf ]] && return
  local stamp
  stamp=$(tr -d '\r\n' < "$1/.update-timestamp" 2>/dev/null) || return 1
  [[ $stamp == $(stat -c %Y "$wine_inf") ]]
}

make_prefix() {
  mkdir -p "$cache"
  # One maker at a time; the others wait for it and then use its prefix.
  exec 9>"$prefix.lock"
  flock 9
  sound "$prefix" && return
  echo "wine-prefix.sh: making the Wine prefix $prefix (once per Wine version)" >&2
  rm -rf "$prefix" "$prefix.new"
  WINEPREFIX=$prefix.new wineboot --init >/dev/null 2>&1 || true
  # The registry reaches the disk when the Wine server ends.
  WINEPREFIX=$prefix.new wineserver -w
  touch "$prefix.new/.fb-made"
  if ! sound "$prefix.new"; then
    echo "wine-prefix.sh: wineboot did not make a usable prefix in $prefix.new" >&2
    exit 1
  fi
  mv "$prefix.new" "$prefix"
}

copy_prefix() {
  local to
  to=$(mktemp -d "$prefix.copy.XXXXXX")
  rmdir "$to"
  cp -al "$prefix" "$to"
  # Every file but the modules gets an inode of its own.
  find "$to" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o \
    -iname '*.sys' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb' -o \
    -iname '*.nls' -o -iname '*.ttf' -o -iname '*.fon' -o -iname '*.ax' -o -iname '*.ds' \) \
    -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"; done' _ {} +
  rm -f "$to/.fb-made"
  echo "$to"
}

make_prefix
case "${1:-}" in
  "") echo "$prefix" ;;
  --copy) copy_prefix ;;
  *) echo "usage: tools/wine-prefix.sh [--copy]" >&2; exit 2 ;;
esac
