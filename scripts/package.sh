#!/usr/bin/env bash
# Makes the Debian package beatloom_VERSION_ARCH.deb in the current folder.
#   scripts/package.sh             configures and builds build/release first
#   scripts/package.sh BUILD_DIR   packages that Release tree (built if needed)
# BEATLOOM_DEB_COMPRESSION (default gzip:6) is dpkg-deb's compressor and level:
# the 95 MB of WAV shrink to 72 MB in about 9 s on two busy cores; xz -6
# makes 49 MB in three minutes, and lintian refuses zstd.
# The last line printed is the package's path.
set -euo pipefail

out=$PWD
cd "$(dirname "$0")/.."
source=$PWD

fail() {
  echo "package.sh: $*" >&2
  exit 1
}

scripts/install-deps.sh --package

if [ $# -ge 1 ]; then
  build=$(cd -- "$1" 2> /dev/null && pwd) || fail "no build tree at $1"
  [ -f "$build/CMakeCache.txt" ] || fail "$build is no configured build tree (no CMakeCache.txt)"
else
  build=$source/build/release
  [ -f "$build/CMakeCache.txt" ] || cmake --preset release > /dev/null
fi
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
[ "$(cache CMAKE_BUILD_TYPE)" = Release ] || fail "$build is a $(cache CMAKE_BUILD_TYPE) tree; a package is made from a Release one"
[ -z "$(cache BEATLOOM_SANITIZE)" ] || fail "$build is built with a sanitizer; a package is made from a plain Release tree"

# What the install takes: the program, its skin and library, the guide's
# pictures and the icons (nothing to do when the tree is built already).
nice -n 10 cmake --build "$build" -j2 --target beatloom guide_pictures desktop_icons

version=$(cache CMAKE_PROJECT_VERSION)
logged=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
[ "$version" = "$logged" ] ||
  fail "the project is version $version but packaging/debian/changelog's newest entry is $logged"
metainfo=$(find "$build/desktop" -maxdepth 1 -name '*.metainfo.xml' | head -n 1)
[ -n "$metainfo" ] || fail "no AppStream metainfo in $build/desktop"
grep -q "<release version=\"$version\"" "$metainfo" ||
  fail "the newest release in $(basename "$metainfo") is not $version"
arch=$(dpkg --print-architecture)

work=$(mktemp -d "${TMPDIR:-/tmp}/beatloom-package.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
stage=$work/beatloom
DESTDIR=$stage cmake --install "$build" --prefix /usr > /dev/null

# As Debian lays a package out: modes that do not depend on the umask, the
# program stripped, the manual and the changelog compressed, the licences.
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$stage/usr/bin/beatloom" "$stage/usr/lib/beatloom/beatloom"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/lib/beatloom/beatloom"
gzip -9n "$stage/usr/share/man/man1/beatloom.1"
doc=$stage/usr/share/doc/beatloom
mkdir -p "$doc"
install -m 0644 packaging/debian/copyright "$doc/copyright"
gzip -9nc packaging/debian/changelog > "$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"

# The control file: Depends from the shared libraries the program links,
# Installed-Size from the files, through dpkg's own tools and a source
# tree of the package's control and changelog.
mkdir -p "$work/debian" "$stage/DEBIAN"
cp packaging/debian/control packaging/debian/changelog "$work/debian/"
(
  cd "$work"
  dpkg-shlibdeps -Tdebian/substvars "beatloom/usr/lib/beatloom/beatloom"
  dpkg-gencontrol -pbeatloom -Pbeatloom -Tdebian/substvars -cdebian/control -ldebian/changelog
)
(cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum > DEBIAN/md5sums)
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

compression=${BEATLOOM_DEB_COMPRESSION:-gzip:6}
deb=$out/beatloom_${version}_${arch}.deb
dpkg-deb --root-owner-group -Z"${compression%%:*}" -z"${compression##*:}" --build "$stage" "$deb" > /dev/null
echo "Depends: $(sed -n 's/^Depends: //p' "$stage/DEBIAN/control")"
echo "$(du -h "$deb" | cut -f1) (installed $(sed -n 's/^Installed-Size: //p' "$stage/DEBIAN/control") KiB)"
echo "$deb"
