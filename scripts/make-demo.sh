#!/usr/bin/env bash
# Makes a folder of sample files to try the program on, from scratch on every run: camera names,
# Polish names with spaces and letters with diacritics, capitals, underscores, a few PNGs among the
# JPEGs, a hidden file and a subfolder. Prints the folder's path.
# Usage: make-demo.sh [FOLDER]   (by default ${XDG_CACHE_HOME:-~/.cache}/skorvatin-demo)
#
# It removes an existing folder only when that holds the marker file this script writes first, and
# otherwise refuses: a mistyped FOLDER must never cost anybody a file.
set -euo pipefail

marker=.skorvatin-demo
marker_text="Made by Skorvatin's scripts/make-demo.sh, which removes this folder and makes it again on every run."
refuse() { echo "make-demo.sh: $*" >&2; exit 2; }

cache=${XDG_CACHE_HOME:-}
[[ $cache == /* ]] || cache=$HOME/.cache # a relative XDG_CACHE_HOME is to be ignored
dir=${1-$cache/skorvatin-demo}
[ -n "$dir" ] || refuse "no folder given"
# Lexically, so that "/tmp/.." counts as "/" and a link is looked at rather than followed.
dir=$(realpath -s -m -- "$dir")
[ "$dir" != / ] || refuse "refusing to use the root folder"
[ ! -L "$dir" ] || refuse "$dir is a symbolic link; give the folder itself"

if [ -e "$dir" ]; then
  [ -d "$dir" ] || refuse "$dir exists and is not a folder"
  if [ -f "$dir/$marker" ] && [ ! -L "$dir/$marker" ] && [ "$(cat -- "$dir/$marker")" = "$marker_text" ]; then
    rm -rf --one-file-system -- "$dir"
  elif [ -n "$(ls -A -- "$dir")" ]; then
    refuse "$dir is not empty and was not made by this script; remove it yourself or give another folder"
  fi
fi

mkdir -p -- "$dir"
# The marker first: a run cut off half-way leaves a folder that the next run may still remove.
printf '%s\n' "$marker_text" >"$dir/$marker"

n=0
sample() { # sample PATH: a small file whose contents no other sample shares
  n=$((n + 1))
  printf 'Skorvatin demo sample %d: %s\n' "$n" "${1##*/}" >"$dir/$1"
}

# Camera names, for "Numeruj" (and how the list orders numbers inside names).
for f in DSC_0412.JPG DSC_0413.JPG DSC_0415.JPG IMG_20240701_123456.jpg IMG_20240701_123502.jpg \
  IMG_20240702_081530.jpg "wycieczka nad morze 1.jpg" "wycieczka nad morze 2.jpg" "wycieczka nad morze 10.jpg"; do
  sample "$f"
done
# PNGs among the JPEGs, for the file mask ("*.jpg" against "*.png", or "*.jpg;*.png").
sample "Zrzut ekranu 1.png"
sample "zrzut_ekranu_2.png"
sample "mapa Łodzi.png"
# Polish letters for "Inne zamiany", capitals for "Zmień plikom wielkość liter", spaces and
# underscores for both replacements.
sample "Zażółć gęślą jaźń.txt"
sample "RAPORT KOŃCOWY.DOC"
sample "FAKTURA_2024_07.PDF"
sample "notatki_z_zebrania.txt"
sample "lista zakupów na weekend.txt"
# Hidden files are never listed, so never renamed.
sample ".ukryty plik.txt"
# A subfolder, to be picked in the folder tree.
mkdir -- "$dir/Wakacje 2024"
sample "Wakacje 2024/plaża 1.jpg"
sample "Wakacje 2024/plaża 2.jpg"
sample "Wakacje 2024/DSC_0001.JPG"

printf '%s\n' "$dir"
