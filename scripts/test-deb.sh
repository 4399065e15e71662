#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it on this machine, drives the
# installed program on a virtual X server, purges it and checks that nothing of it is left.
# Needs root (or sudo): it really installs and removes the package.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

scripts/install-deps.sh lintian desktop-file-utils appstream xdotool
make deb
deb=$(ls build-package/skorvatin_*_*.deb | head -n 1)

echo "== lintian"
lintian --fail-on error,warning --tag-display-limit 0 "$deb"

if dpkg-query -W skorvatin >/dev/null 2>&1; then
  echo "skorvatin is already installed here; refusing to touch an existing installation" >&2
  exit 1
fi
echo "== install"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
trap '$sudo dpkg --purge skorvatin >/dev/null 2>&1 || true' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -L /usr/bin/skorvatin ] || fail "/usr/bin/skorvatin is not a link"
[ "$(readlink -f /usr/bin/skorvatin)" = /usr/lib/skorvatin/skorvatin ] || fail "the link does not lead to /usr/lib/skorvatin"
[ -f /usr/lib/skorvatin/pomoc.htm ] || fail "no help page beside the program"
for f in $(dpkg -L skorvatin | grep -E '^/usr/share/applications/.*\.desktop$'); do desktop-file-validate "$f"; done
for f in $(dpkg -L skorvatin | grep -E '^/usr/share/metainfo/.*\.xml$'); do appstreamcli validate --no-net "$f"; done
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
  [ -f /usr/share/icons/hicolor/$size/apps/skorvatin.png ] || fail "no $size icon"
done
[ -f /usr/share/icons/hicolor/scalable/apps/skorvatin.svg ] || fail "no scalable icon"
# The desktop database, which dpkg's trigger rebuilt, offers the program for folders.
grep -q '^inode/directory=.*skorvatin\.desktop' /usr/share/applications/mimeinfo.cache ||
  fail "the desktop database does not offer Skorvatin for folders"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l /usr/share/man/man1/skorvatin.1.gz 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page: $warnings"

echo "== smoke test of the installed program"
# A stand-in for xdg-open records what the program hands to the desktop instead of opening it.
stub=$(mktemp -d)
cat > "$stub/xdg-open" <<'STUB'
#!/bin/sh
printf '%s\n' "$@" >> "$(dirname "$0")/opened"
STUB
chmod +x "$stub/xdg-open"
PATH="$stub:$PATH" xvfb-run -a -s "-screen 0 1280x1024x24" bash -s "$stub" <<'DRIVE'
set -euo pipefail
stub=$1
# Started from a folder of photos, the installed copy shows that folder, not its own, root's too.
mkdir "$stub/zdjecia"
(cd "$stub/zdjecia" && exec /usr/bin/skorvatin) &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Skorvatin$' | head -n 1)
# Button centres in the window's client area: left 432, width 185; rows 24 px apart from top 8.
click() { xdotool mousemove --window "$wid" 524 "$1" click 1; }
waitfor() {
  for _ in $(seq 100); do grep -qxF "$1" "$stub/opened" 2>/dev/null && return 0; sleep 0.1; done
  echo "FAIL: the program never handed over $1" >&2; cat "$stub/opened" >&2 2>/dev/null || true; exit 1
}
click 116   # "Expolator": the file manager on the folder shown, as a file URL
waitfor "file://$stub/zdjecia"
click 148   # "Pomoc": the help page beside the program, found through the /usr/bin link
waitfor file:///usr/lib/skorvatin/pomoc.htm
click 180   # "Koniec"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill "$pid"; echo "FAIL: Koniec did not end the program" >&2; exit 1; fi
wait "$pid"
echo "smoke test passed"
DRIVE
rm -rf "$stub"

echo "== purge"
files=$(dpkg -L skorvatin | grep -v '^/\.$')
$sudo dpkg --purge skorvatin
trap - EXIT
left=""
for f in $files; do
  case "$f" in /usr | /usr/bin | /usr/lib | /usr/share | /usr/share/* ) [ -d "$f" ] && continue ;; esac
  [ -e "$f" ] || [ -L "$f" ] && left="$left $f"
done
[ -z "$left" ] || fail "left behind after purge:$left"
[ ! -e /usr/lib/skorvatin ] || fail "/usr/lib/skorvatin left behind"
! grep -q 'skorvatin\.desktop' /usr/share/applications/mimeinfo.cache 2>/dev/null ||
  fail "the desktop database still offers Skorvatin for folders"
echo "test-deb passed"
