#!/usr/bin/env bash
# Checks a Debian package that scripts/package.sh made, as a user would meet it:
#   scripts/package-check.sh beatloom_VERSION_ARCH.deb
# lintian, AppStream, the desktop entry, the manual against --help and
# Depends against the libraries the program links; then it installs the
# package on this machine (apt-get, as root), runs it as a user who is not
# root (nobody, with a home of its own), and removes it again. Every check
# prints one line; the first that fails ends the run with a non-zero exit.
set -euo pipefail

[ $# -eq 1 ] || {
  echo "usage: scripts/package-check.sh beatloom_VERSION_ARCH.deb" >&2
  exit 2
}
deb=$(readlink -f -- "$1")
[ -f "$deb" ] || {
  echo "package-check: no package at $1" >&2
  exit 2
}
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
ok() { echo "ok (${SECONDS}s): $*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/beatloom-check.XXXXXX")
chmod 0755 "$work"
installed_here=no
cleanup() {
  # A check that failed half-way leaves no package behind on the machine.
  if [ "$installed_here" = yes ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq beatloom > /dev/null 2>&1 || true
  fi
  rm -rf -- "$work"
}
trap cleanup EXIT

# ---- The package as a file ---------------------------------------------------

# lintian as a user who is not root, as it asks to be run, on a copy that
# user can read wherever the package lies.
mkdir -p "$work/lintian"
cp -- "$deb" "$work/lintian/"
chown -R nobody: "$work/lintian"
(cd "$work/lintian" && setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
  env HOME="$work/lintian" TMPDIR="$work/lintian" lintian --fail-on error --tag-display-limit 0 \
  "$work/lintian/$(basename "$deb")") \
  > "$work/lintian.txt" 2>&1 || {
  cat "$work/lintian.txt"
  fail "lintian reports errors in $(basename "$deb")"
}
sed 's/^/  /' "$work/lintian.txt"
ok "lintian: no error ($(grep -c '^W:' "$work/lintian.txt" || true) warnings)"

x=$work/contents
dpkg-deb -x "$deb" "$x"
metainfo=$(find "$x/usr/share/metainfo" -name '*.metainfo.xml' | head -n 1)
[ -n "$metainfo" ] || fail "no AppStream metainfo in /usr/share/metainfo"
appstreamcli validate --no-net "$metainfo" > "$work/appstream.txt" 2>&1 || {
  cat "$work/appstream.txt"
  fail "appstreamcli validate refuses $(basename "$metainfo")"
}
ok "appstreamcli validate: $(tail -n 1 "$work/appstream.txt")"
desktop-file-validate "$x/usr/share/applications/beatloom.desktop" ||
  fail "desktop-file-validate refuses beatloom.desktop"
ok "desktop-file-validate: beatloom.desktop"

# Depends: every shared library the program links (objdump's NEEDED) comes
# from a package Depends names, and every package it names gives one.
program=$x/usr/lib/beatloom/beatloom
depends=$(dpkg-deb -f "$deb" Depends)
# Every package name Depends gives, alternatives too, one a line.
named=$(tr ',|' '\n\n' <<< "$depends" | awk 'NF { print $1 }')
needed_packages=()
for lib in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
  path=$(ldconfig -p | awk -v lib="$lib" '$1 == lib && !found { print $NF; found = 1 }')
  [ -n "$path" ] || fail "the program links $lib, which this machine does not have"
  owner=$({ dpkg -S "$(readlink -f "$path")" || dpkg -S "$path"; } 2> /dev/null | awk -F: 'NR == 1 { print $1 }')
  [ -n "$owner" ] || fail "no package of this machine holds $lib ($path)"
  needed_packages+=("$owner")
  grep -qxF "$owner" <<< "$named" ||
    fail "the program links $lib (package $owner) but Depends does not name $owner: $depends"
done
IFS=',' read -ra groups <<< "$depends"
for group in "${groups[@]}"; do
  found=no
  IFS='|' read -ra alternatives <<< "$group"
  for alternative in "${alternatives[@]}"; do
    name=$(awk '{ print $1 }' <<< "$alternative")
    for p in "${needed_packages[@]}"; do [ "$p" = "$name" ] && found=yes; done
  done
  [ "$found" = yes ] || fail "Depends names ${group# }, which gives none of the libraries the program links"
done
ok "Depends: one for each of the ${#needed_packages[@]} libraries the program links, none by hand"

# ---- Installed ---------------------------------------------------------------

# Without dpkg's flush after every file: a trial install, 375 of them loops.
apt_quick=(-o Dpkg::Options::=--force-unsafe-io)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${apt_quick[@]}" "$deb" > "$work/apt.txt" 2>&1 || {
  cat "$work/apt.txt"
  fail "apt-get install $(basename "$deb")"
}
installed_here=yes
dpkg-query -L beatloom | sort > "$work/files.txt"
ok "apt-get install: $(wc -l < "$work/files.txt") paths"

# The manual names every option --help prints, and no other.
beatloom --help > "$work/help.txt" || fail "beatloom --help"
options() { grep -oE '(^|[][(|,[:space:]])--?[a-z][a-z0-9-]*' | sed -E 's/^[][(|,[:space:]]//' | sort -u; }
options < "$work/help.txt" > "$work/help-options.txt"
zcat /usr/share/man/man1/beatloom.1.gz | awk '/^\.TP/ { getline; print }' |
  sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/"/ /g; s/^\.B[IR]? / /' | options > "$work/man-options.txt"
diff "$work/help-options.txt" "$work/man-options.txt" > "$work/options.diff" || {
  sed 's/^</  only in --help:/; s/^>/  only in the manual:/' "$work/options.diff" | grep only
  fail "the manual and beatloom --help name different options"
}
man -l /usr/share/man/man1/beatloom.1.gz > /dev/null 2> "$work/man.txt" || fail "man cannot show beatloom(1)"
[ ! -s "$work/man.txt" ] || {
  cat "$work/man.txt"
  fail "man warns about beatloom(1)"
}
ok "beatloom(1) names the $(wc -l < "$work/help-options.txt") options --help prints"

# ---- Run by a user who is not root ------------------------------------------

user=nobody
home=$work/home
mkdir -p "$home"
chown "$user:" "$home"
as_user() {
  (cd "$home" && setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups \
    env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@")
}
find "$home" -mindepth 1 > "$work/home-before.txt"

version=$(dpkg-deb -f "$deb" Version)
said=$(as_user beatloom --version) || fail "beatloom --version as $user"
[ "$said" = "Beatloom ${version%.*}" ] || [ "$said" = "Beatloom $version" ] ||
  fail "beatloom --version says '$said' in package $version"
ok "beatloom --version as $user: $said"

own=$home/.local/share/beatloom
[ -L "$own/beatloom" ] && [ -d "$own/Library/Song" ] ||
  fail "the user's program folder $own was not made"
copied=$(find "$own/Library" -type f | wc -l)
[ "$copied" -eq 0 ] || fail "$copied files of the library were copied into $own instead of linked"
ok "the user's program folder links the installed library ($(find "$own/Library" -type l | wc -l) links, no copy, $(du -sh "$own" | cut -f1))"

as_user beatloom --headless --screen 1280x800 --demo "$home/demo" > "$work/demo.txt" 2>&1 || {
  cat "$work/demo.txt"
  fail "the headless demo as $user"
}
[ -s "$home/demo/screen.png" ] || fail "the demo saved no screen.png"
peak=$(sox "$home/demo/played.wav" -n stat 2>&1 | awk '/Maximum amplitude/ { print $3 }')
awk -v p="${peak:-0}" 'BEGIN { exit !(p > 0.05) }' ||
  fail "the demo played silence (peak ${peak:-none}) from the demo library"
ok "headless demo as $user: played the demo library (peak $peak)"

song=$(find /usr/lib/beatloom/Library/Song -mindepth 1 -maxdepth 1 -type d | sort | head -n 1)
rc=0
as_user beatloom --make-song "$song" --name "Made Here" --yes > "$work/make.txt" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || [ "$rc" -eq 3 ] || {
  cat "$work/make.txt"
  fail "beatloom --make-song as $user (exit $rc)"
}
grep -q "^Made: $own/Library/Song/Made Here$" "$work/make.txt" || {
  cat "$work/make.txt"
  fail "--make-song did not make its song in $own/Library/Song"
}
[ -f "$own/Library/Song/Made Here/song.bls" ] || fail "--make-song made no song.bls"
ok "--make-song as $user: $(ls "$own/Library/Song/Made Here" | wc -l) files in $own/Library/Song/Made Here"

# A groove document as the program saves it: the song browser's first song
# opened (Return), a random groove (the first random button), stored (Store)
# and put in the sequence (Add all), then Ctrl+S. The stage sits at (192, 144)
# of the 1024 x 768 window.
cat > "$home/save.txt" << EOF
wait 1500
press return
wait 1500
click 672 445
wait 1000
click 489 513
wait 800
click 489 557
wait 800
dialog $home/groove.bld
ctrl s
wait 1000
quit
EOF
as_user beatloom --script "$home/save.txt" --log "$home/save.log" > "$work/save.txt" 2>&1 || {
  cat "$work/save.txt" "$home/save.log"
  fail "the headless session that saves a groove document, as $user"
}
[ -s "$home/groove.bld" ] || {
  cat "$home/save.log"
  fail "the headless session saved no groove document"
}
as_user beatloom --render "$home/groove.bld" -o "$home/groove.flac" --format flac > "$work/render.txt" 2>&1 || {
  cat "$work/render.txt"
  fail "beatloom --render as $user"
}
seconds=$(soxi -D "$home/groove.flac" 2> /dev/null || echo 0)
awk -v s="$seconds" 'BEGIN { exit !(s > 1) }' || fail "--render wrote ${seconds}s of sound"
ok "--render as $user: $(printf '%.1f' "$seconds") s of FLAC from a document the program saved"

# A session started with the example MIDI map, in which the song library's
# Guide button (at start the library is in front) opens the user guide.
cat > "$home/midi.txt" << EOF
wait 1000
click 614 554
wait 800
quit
EOF
as_user beatloom --midi-map midi/eight-tracks.txt --script "$home/midi.txt" --log "$home/midi.log" \
  > "$work/midi.txt" 2>&1 || {
  cat "$work/midi.txt"
  fail "beatloom --midi-map midi/eight-tracks.txt as $user"
}
bindings=$(grep -o 'midi map .*: [0-9]* bindings' "$home/midi.log" || true)
[ -n "$bindings" ] && ! grep -q 'cannot be read\|is damaged' "$home/midi.log" || {
  cat "$home/midi.log"
  fail "--midi-map midi/eight-tracks.txt took no bindings"
}
ok "--midi-map midi/eight-tracks.txt as $user: $bindings"
grep -qxF "address file://$own/UserGuide.html" "$home/midi.log" || {
  cat "$home/midi.log"
  fail "the Guide button did not open $own/UserGuide.html"
}
pictures=$(grep -o 'src="guide/[^"]*"' "$own/UserGuide.html" | sed 's/^src="//; s/"$//' | sort -u)
for picture in $pictures; do [ -s "$own/$picture" ] || fail "the guide's picture $picture is missing"; done
ok "the Guide button opens the user guide, its $(wc -w <<< "$pictures") pictures there"

# Only the XDG folders: the user's data, state and cache.
find "$home" -mindepth 1 | grep -vxF -f "$work/home-before.txt" |
  grep -vE "^$home/(\.local(/share(/beatloom(/.*)?)?|/state(/beatloom(/.*)?)?)?|\.cache(/.*)?|\.config(/.*)?)$" |
  grep -vE "^$home/(demo|groove\.(bld|flac)|(save|midi)\.(txt|log))(/.*)?$" > "$work/strays.txt" || true
[ ! -s "$work/strays.txt" ] || {
  cat "$work/strays.txt"
  fail "the user's home gained more than the XDG folders"
}
leaked=$(find /usr/lib/beatloom -newer "$work/files.txt" | head -n 5)
[ -z "$leaked" ] || fail "the runs wrote into the installed folder: $leaked"
ok "the user's home gained only $(cd "$home" && find .local/* .cache .config -maxdepth 1 -mindepth 1 2> /dev/null | sort | tr '\n' ' ')"

# ---- Removed -----------------------------------------------------------------

DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "${apt_quick[@]}" beatloom > "$work/apt.txt" 2>&1 || {
  cat "$work/apt.txt"
  fail "apt-get remove beatloom"
}
installed_here=no
status=$(dpkg-query -W -f='${db:Status-Status}' beatloom 2> /dev/null || echo not-installed)
[ "$status" = not-installed ] || fail "after apt-get remove dpkg says beatloom is $status"
# Every file and link of the package is gone, and so are its own folders;
# the shared ones (/usr/share/icons/hicolor ...) stay for the others.
left=()
while IFS= read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  case "$path" in
    /usr/lib/beatloom | /usr/lib/beatloom/* | /usr/share/doc/beatloom | /usr/share/doc/beatloom/*) left+=("$path") ;;
    *) [ -d "$path" ] && [ ! -L "$path" ] || left+=("$path") ;;
  esac
done < "$work/files.txt"
[ ${#left[@]} -eq 0 ] || fail "apt-get remove left ${left[*]}"
ok "apt-get remove: nothing of the package left"
echo "package-check: $(basename "$deb") passed"
