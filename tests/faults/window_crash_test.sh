#!/usr/bin/env bash
# The real program on a virtual X server, cut off in the middle of a numbering run of 3000 files:
# once by SIGTERM (a log-out), once by the X server going away. The shim preloaded into the program
# sends the signal, or kills the server, at its 1000th rename.
#   SIGTERM: the run is undone at its next pause, the journal finished, and the program exits with 0.
#   No display: Qt ends the process from inside; the folder is left half-renamed with its journal
#   unfinished, and a recovery from that journal gives every file its name back.
# Usage: window_crash_test.sh <skorvatin> <fault_driver> <fail_rename_shim.so>
set -euo pipefail

skip() {
  echo "SKIP: $*"
  exit 77
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
command -v Xvfb >/dev/null || skip "no Xvfb to run the window on (Debian package xvfb)"
command -v xdotool >/dev/null || skip "no xdotool to press the window's keys (Debian package xdotool)"

work=$(mktemp -d)
xvfb=""
pid=""
cleanup() {
  for p in $pid $xvfb; do kill -9 "$p" 2>/dev/null || true; done
  chmod 755 "$work/bin" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The program starts in its own folder when the user may rename files there, otherwise in the
# folder it was started from, which is where the files are. So it runs from a folder nobody may
# write to, and as root, who may write anywhere, it runs as nobody.
chmod 755 "$work"
mkdir "$work/bin"
cp "$1" "$2" "$3" "$work/bin/"
chmod 555 "$work/bin"
program=$work/bin/$(basename "$1")
driver=$work/bin/$(basename "$2")
shim=$work/bin/$(basename "$3")
as=()
if [ "$(id -u)" -eq 0 ]; then
  as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  # The X servers' socket folder, which an X server that is not root cannot make as it should be.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
fi
files=$work/files
state=$work/state

# Xvfb runs as the same user as the program, whose shim must be allowed to kill it. It picks a
# free display itself and writes its number once it is ready for clients.
startDisplay() {
  mkfifo "$work/display"
  "${as[@]}" Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" 2>"$work/xvfb.err" &
  xvfb=$!
  # Its death by the shim's hand is the point of the test, not news for the log.
  disown "$xvfb"
  read -r -t 20 display <"$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.err")"
  rm "$work/display"
  export DISPLAY=:$display
}

stopDisplay() {
  kill -9 "$xvfb" 2>/dev/null || true
  timeout 10 tail --pid="$xvfb" -f /dev/null || fail "Xvfb would not end"
  xvfb=""
}

# The folder's names with their inodes: the same files under the same names, or not.
listing() { find "$files" -mindepth 1 -printf '%i %f\n' | sort; }

# What the driver recovers from the journals the program left, one line per batch.
recover() { env -i XDG_STATE_HOME="$state" "${as[@]}" "$driver" recover; }

# Starts the program on a fresh folder and clicks "Numeruj" from the keyboard: the focus starts in
# the folder list, and the tab order is folder list, drive list, file list, "Numeruj". The shim
# sends signal $1 to the program itself, or to the X server when $2 is "display", at the 1000th
# rename. Sets $status.
numberUntil() {
  rm -rf "${files:?}" "${state:?}" "${work:?}/home"
  mkdir -p "$files" "$state" "$work/home"
  (cd "$files" && seq -f 'DSC_%04g.JPG' 0 2999 | xargs touch)
  [ ${#as[@]} -eq 0 ] || chown -R 65534:65534 "$files" "$state" "$work/home"
  chmod 700 "$work/home"
  listing >"$work/before"
  startDisplay
  local target=""
  [ "$2" != display ] || target=$xvfb
  # A sanitizer build takes the shim ahead of its own runtime; what a whole Qt program leaves at its
  # end is not this test's matter.
  env -i -C "$files" PATH="$PATH" DISPLAY="$DISPLAY" HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
    XDG_STATE_HOME="$state" QT_QPA_PLATFORM=xcb DBUS_FATAL_WARNINGS=0 LD_PRELOAD="$shim" \
    ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 \
    SKORVATIN_RENAME_FOLDER="$files" SKORVATIN_RENAME_LOG="$work/home/renames.log" \
    SKORVATIN_SIGNAL_AT="1000 $1 $target" "${as[@]}" "$program" 2>"$work/program.err" &
  pid=$!
  local window
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Skorvatin$' | head -n 1) || true
  [ -n "$window" ] || fail "the window never showed: $(cat "$work/program.err")"
  xdotool windowfocus --sync "$window" key Tab Tab Tab space
  timeout 60 tail --pid="$pid" -f /dev/null || fail "the program did not end within a minute of the click"
  status=0
  wait "$pid" || status=$?
  pid=""
  [ -s "$work/home/renames.log" ] || fail "\"Numeruj\" was never clicked: nothing was renamed"
}

echo "== SIGTERM during the run"
numberUntil 15 program
stopDisplay
[ "$status" -eq 0 ] || fail "exit status $status, not 0: $(cat "$work/program.err")"
# The stop comes at the pause after the suffix pass, and each of its renames is undone.
[ "$(wc -l <"$work/home/renames.log")" -eq 6000 ] || fail "$(wc -l <"$work/home/renames.log") renames, not 3000 and 3000 undone"
listing | cmp -s - "$work/before" || fail "the files are not back under their names"
[ -z "$(recover)" ] || fail "the journal was left unfinished"

echo "== the X server goes away during the run"
numberUntil 9 display
stopDisplay
[ "$status" -ne 0 ] || fail "the program ended with 0 though its display was gone"
grep -q "X11 connection broke" "$work/program.err" || fail "not ended by Qt: $(cat "$work/program.err")"
# Qt notices at the pause after the suffix pass; no destructor runs, nothing is undone.
[ "$(find "$files" -name '*.JPG.q' | wc -l)" -eq 3000 ] || fail "not every file left under its temporary name"
# One batch, every file of it moved back.
recovered=$(recover)
[ "$(cut -d ' ' -f 1,2 <<<"$recovered")" = "recovered 3000" ] || fail "the recovery said: $recovered"
listing | cmp -s - "$work/before" || fail "the files are not back under their names after the recovery"
[ -z "$(recover)" ] || fail "the recovery left a journal unfinished"
echo "window crash test passed"
