#!/usr/bin/env bash
# scripts/make-demo.sh makes the same folder on every run, whatever was done in it, and refuses
# every folder it did not make itself, leaving it as it was.
# Usage: make_demo_test.sh MAKE-DEMO-SCRIPT
set -euo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
listing() { (cd "$1" && find . -printf '%y %p %s\n' | LC_ALL=C sort && find . -type f -exec cat {} + | cksum); }

[ "$("$script" "$tmp/demo/")" = "$tmp/demo" ] || fail "the folder made is not the one printed"
first=$(listing "$tmp/demo")
[ -z "$(find "$tmp/demo" -type f -exec cksum {} + | cut -d' ' -f1 | sort | uniq -d)" ] || fail "two samples alike"
# What a session leaves behind: a renamed file, a new one, a folder the user added.
mv "$tmp/demo/DSC_0412.JPG" "$tmp/demo/Plik1.JPG"
echo new >"$tmp/demo/Wakacje 2024/new.txt"
mkdir "$tmp/demo/added"
"$script" "$tmp/demo" >/dev/null
[ "$(listing "$tmp/demo")" = "$first" ] || fail "a second run made another folder"

mkdir -p "$tmp/mine" "$tmp/forged" "$tmp/empty"
echo keep >"$tmp/mine/keep.txt"
echo "something else" >"$tmp/forged/.skorvatin-demo"
ln -s "$tmp/demo" "$tmp/link"
for arg in "" / "$tmp/.." "$tmp/mine" "$tmp/mine/keep.txt" "$tmp/forged" "$tmp/link"; do
  if "$script" "$arg" >/dev/null 2>&1; then fail "accepted '$arg'"; fi
done
[ "$(cat "$tmp/mine/keep.txt")" = keep ] || fail "touched a folder it did not make"
[ "$(cat "$tmp/forged/.skorvatin-demo")" = "something else" ] || fail "took a forged marker"
[ "$(listing "$tmp/demo")" = "$first" ] || fail "went through a link"
"$script" "$tmp/empty" >/dev/null || fail "refused an empty folder"

[ "$(HOME="$tmp" XDG_CACHE_HOME=relative "$script")" = "$tmp/.cache/skorvatin-demo" ] ||
  fail "a relative XDG_CACHE_HOME was not ignored"
echo "make-demo.sh: same folder twice, 7 refusals"
