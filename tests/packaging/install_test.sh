#!/usr/bin/env bash
# `cmake --install` into a scratch prefix whose path has blanks: every file lands in its standard
# place, the menu entry and metainfo validate, the installed programs run from there, find their
# help, and keep their preferences in the user's config folder although the prefix is writable.
set -euo pipefail
build=$1 make_series=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/pre fix"
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/orvanta bin/orvanta-cli bin/orvantajpeg; do
  [ -x "$prefix/$f" ] || fail "$f is not installed as a program"
done
plugin=$(find "$prefix" -path '*qt6/plugins/designer/libvantlerdesigner.so' -print -quit)
if [ -e "$build/lib/libvantlerdesigner.so" ]; then
  [ -n "$plugin" ] || fail "the Designer plugin is not installed"
fi
lib=$(find "$prefix" -name libvantler.so -path '*/lib*' -print -quit)
[ -n "$lib" ] || fail "libvantler.so is not installed"
# The library carries a soname: the file, its soname link and the development link.
libdir=$(dirname "$lib")
[ -L "$libdir/libvantler.so" ] && [ -L "$libdir/libvantler.so.0" ] || fail "libvantler.so and libvantler.so.0 are not links"
real=$(readlink -f "$libdir/libvantler.so.0")
case "$(basename "$real")" in libvantler.so.0.*) ;; *) fail "libvantler.so.0 names $real" ;; esac
if command -v objdump >/dev/null; then
  objdump -p "$real" | grep -q 'SONAME *libvantler\.so\.0$' || fail "libvantler has no soname libvantler.so.0"
  if [ -n "$plugin" ]; then
    objdump -p "$plugin" | grep -q 'NEEDED *libvantler\.so\.0$' || fail "the Designer plugin does not need libvantler.so.0"
  fi
fi
# The licence and the changelog, as Debian keeps them.
copyright="$prefix/share/doc/orvanta/copyright"
[ -f "$copyright" ] || fail "the copyright file is missing"
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in the machine-readable format"
grep -qx 'License: Expat' "$copyright" || fail "the copyright file names no licence"
zcat "$prefix/share/doc/orvanta/changelog.gz" | head -1 | grep -q '^orvanta (' || fail "the changelog is missing"
[ -f "$prefix/include/vantler/vantler.h" ] || fail "the vantler headers are not installed"
for page in index.html preferences.html help.css; do
  [ -f "$prefix/share/orvanta/help/$page" ] || fail "help page $page is missing"
done
for size in 128x128 32x32; do
  [ -f "$prefix/share/icons/hicolor/$size/apps/orvanta.png" ] || fail "the $size icon is missing"
done
entry="$prefix/share/applications/com.brindlemoor.orvanta.desktop"
meta="$prefix/share/metainfo/com.brindlemoor.orvanta.metainfo.xml"
[ -f "$entry" ] && [ -f "$meta" ] || fail "the menu entry or the metainfo is missing"
grep -qx 'MimeType=image/bmp;image/jpeg;image/gif;image/png;image/tiff;' "$entry" || fail "the menu entry's MimeType"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$meta" >/dev/null || fail "appstreamcli rejects the metainfo"
fi

# The installed programs run from there.
"$prefix/bin/orvanta" --version | grep -q '^orvanta ' || fail "orvanta --version"
"$prefix/bin/orvanta-cli" --version >/dev/null || fail "orvanta-cli --version"
"$make_series" "$work/series" --count 3 --size 64x48 --no-truth >/dev/null
"$prefix/bin/orvanta-cli" -q -o "$work/series/out.jpg" "$work/series/sample01.bmp" >/dev/null ||
  fail "the installed orvanta-cli made no montage"
[ -s "$work/series/out.jpg" ] || fail "the installed orvanta-cli wrote no JPEG"

# The installed desktop program reads its preferences from the config folder: a "shortcut" of 1
# there makes it write the desktop launcher at start-up.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export XDG_DESKTOP_DIR="$work/home/Desktop" QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME/orvanta"
printf '[preferences]\r\nshortcut=1\r\n' > "$XDG_CONFIG_HOME/orvanta/orvanta.ini"
"$prefix/bin/orvanta" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  [ -f "$XDG_DESKTOP_DIR/Orvanta.desktop" ] && break
  sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
[ -f "$XDG_DESKTOP_DIR/Orvanta.desktop" ] || fail "the installed program did not read its config-folder preferences"
grep -qx "Exec=\"$prefix/bin/orvanta\"" "$XDG_DESKTOP_DIR/Orvanta.desktop" || fail "the launcher's Exec line"
grep -qx "Icon=orvanta" "$XDG_DESKTOP_DIR/Orvanta.desktop" || fail "the launcher's icon is the installed theme icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$XDG_DESKTOP_DIR/Orvanta.desktop" || fail "desktop-file-validate rejects the launcher"
fi
[ ! -e "$prefix/bin/orvanta.ini" ] || fail "the installed program wrote preferences beside itself"
echo "installed into '$prefix': programs, library, plugin, help, icons, menu entry and metainfo"
