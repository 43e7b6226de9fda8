#!/usr/bin/env bash
# Checks what Tardivox installs and the Debian package made from it, in a built tree:
#   check-package.sh <build dir>
# - cmake --install into a scratch directory puts the program in bin/, the desktop entry, the
#   icon (SVG, and the 48 px PNG) and the AppStream metainfo in share/; the desktop entry
#   passes desktop-file-validate and the metainfo appstreamcli validate --no-net;
# - cpack makes tardivox_<version>_<arch>.deb in <build dir>/package, holding those files
#   under /usr and nothing else, whose Depends (from dpkg-shlibdeps) name the libraries the
#   program links: C and C++ runtimes, Qt 6 Widgets, the PulseAudio client library.
# Exits non-zero, saying what is wrong, when anything is missing or invalid.
set -uo pipefail
[ $# -eq 1 ] || { echo "usage: $0 <build dir>" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
status=0
fail() { echo "check-package: $*" >&2; status=1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
[ -n "$version" ] || { echo "check-package: no project version in $build" >&2; exit 1; }
app_id=org.tardivox.Tardivox
expected=(
  bin/tardivox
  share/applications/$app_id.desktop
  share/metainfo/$app_id.metainfo.xml
  share/icons/hicolor/scalable/apps/tardivox.svg
  share/icons/hicolor/48x48/apps/tardivox.png
)

stage=$(mktemp -d /tmp/tardivox-install.XXXXXX)
trap 'rm -rf "$stage"' EXIT

echo "--- cmake --install"
cmake --install "$build" --prefix "$stage/usr" >"$stage/install.log" 2>&1 ||
  { cat "$stage/install.log"; fail "cmake --install failed"; }
for f in "${expected[@]}"; do
  [ -s "$stage/usr/$f" ] || fail "not installed: $f"
done
[ -x "$stage/usr/bin/tardivox" ] || fail "bin/tardivox is not executable"
desktop=$stage/usr/share/applications/$app_id.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $app_id.desktop"
  grep -qx 'Name=Tardivox' "$desktop" || fail "the desktop entry is not named Tardivox"
  grep -qx 'Categories=AudioVideo;Audio;' "$desktop" || fail "the desktop entry's categories"
  grep -qx 'Icon=tardivox' "$desktop" || fail "the desktop entry does not name the icon"
fi
metainfo=$stage/usr/share/metainfo/$app_id.metainfo.xml
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo lacks release $version"
fi
png=$stage/usr/share/icons/hicolor/48x48/apps/tardivox.png
if [ -f "$png" ]; then
  # The PNG header: width and height, 4 bytes each, at bytes 16-23.
  size=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
  [ "$size" = "0 0 0 48 0 0 0 48" ] || fail "the PNG icon is not 48 x 48 ($size)"
fi

echo "--- cpack"
deb=$build/package/tardivox_${version}_${arch}.deb
rm -f "$deb"
(cd "$build" && cpack -G DEB -B "$build/package" >"$stage/cpack.log" 2>&1) ||
  { cat "$stage/cpack.log"; fail "cpack failed"; }
if [ ! -f "$deb" ]; then
  fail "no package $deb"
  ls "$build/package" 2>/dev/null
  exit 1
fi
echo "$deb"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./||' | sort)
want=$(printf 'usr/%s\n' "${expected[@]}" | sort)
[ "$contents" = "$want" ] || fail "the package holds"$'\n'"$contents"$'\n'"instead of"$'\n'"$want"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The package names alone, one a line.
names=$(sed 's/([^)]*)//g; s/|/,/g' <<<"$depends" | tr ',' '\n' | tr -d ' ')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libpulse0; do
  grep -Fxq "$lib" <<<"$names" || fail "Depends lacks $lib"
done
[ "$(dpkg-deb -f "$deb" Package)" = tardivox ] || fail "the package is not named tardivox"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "the package's architecture"
exit $status
