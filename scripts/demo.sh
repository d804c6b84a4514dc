#!/usr/bin/env bash
# Installs what is missing, builds, and runs the pictra tool on the bundled samples.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build" -DPICTRA_BENCH=OFF
pictra="$root/build/bin/pictra"

echo
echo '$ pictra formats'
"$pictra" formats

echo
echo '$ pictra info examples/pictra.icns'
"$pictra" info "$root/examples/pictra.icns"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo
echo '$ pictra extract examples/pictra.icns -o OUT && ls OUT'
"$pictra" extract "$root/examples/pictra.icns" -o "$out"
ls "$out"

echo
echo '$ pictra info examples/pictra.info'
"$pictra" info "$root/examples/pictra.info"

echo
echo '$ pictra extract examples/pictra.info -o OUT2 && ls OUT2'
mkdir "$out/info"
"$pictra" extract "$root/examples/pictra.info" -o "$out/info"
ls "$out/info"

echo
echo '$ pictra info examples/ball-os4.info'
"$pictra" info "$root/examples/ball-os4.info"

echo
echo '$ pictra convert examples/ball-os4.info OUT3/ball.info --format AMIGAOS35 --compress'
mkdir "$out/colour"
"$pictra" convert "$root/examples/ball-os4.info" "$out/colour/ball.info" --format AMIGAOS35 --compress
echo '$ pictra extract OUT3/ball.info -o OUT3 && ls OUT3'
"$pictra" extract "$out/colour/ball.info" -o "$out/colour"
ls "$out/colour"

echo
echo '$ pictra info examples/not-an-icon.cur'
status=0
"$pictra" info "$root/examples/not-an-icon.cur" || status=$?
echo "(exit status $status: a cursor file is not an icon and is refused)"
[ "$status" -eq 1 ]

# A Windows icon the project made (scripts/make-example-ico.py drew it, and
# Pictra's writer saved it): its pictures, each as a PNG, and a copy.
scratch=$out/ico
mkdir -p "$scratch"
echo
echo '$ pictra info examples/pictra.ico'
"$pictra" info "$root/examples/pictra.ico" | sed -n '/^images:/,$p'
echo
echo '$ pictra extract -o OUT examples/pictra.ico'
"$pictra" extract -o "$scratch" "$root/examples/pictra.ico"
ls "$scratch"
echo
echo '$ pictra convert --compress examples/pictra.ico OUT/copy.ico'
"$pictra" convert --compress "$root/examples/pictra.ico" "$scratch/copy.ico"
"$pictra" info "$scratch/copy.ico" | sed -n '/^images:/,$p'

# Editing an Amiga icon in place: a copy of the NewIcons sample gets a new
# default tool, a tool type replaced, one added, and a larger stack.
edit=$out/edit
mkdir -p "$edit"
cp "$root/examples/pictra.info" "$edit/pictra.info"
echo
echo '$ pictra set OUT/pictra.info --default-tool SYS:Utilities/Display --set-tool-type FILETYPE=image --tool-type PUBSCREEN=Workbench --stack 16384 --dry-run'
"$pictra" set "$edit/pictra.info" --default-tool SYS:Utilities/Display --set-tool-type FILETYPE=image \
  --tool-type PUBSCREEN=Workbench --stack 16384 --dry-run | sed "s|$edit|OUT|"
echo '$ pictra set OUT/pictra.info --default-tool SYS:Utilities/Display --set-tool-type FILETYPE=image --tool-type PUBSCREEN=Workbench --stack 16384'
"$pictra" set "$edit/pictra.info" --default-tool SYS:Utilities/Display --set-tool-type FILETYPE=image \
  --tool-type PUBSCREEN=Workbench --stack 16384
echo '$ pictra set OUT/pictra.info    (no edits: the attributes as they are now)'
"$pictra" set "$edit/pictra.info" | sed -n '/^stackSize:/,/^images:/p'

# Every picture of the sample icons on one contact sheet, kept in the build
# folder to look at: the folder walked (-r), files that are not icons skipped.
echo
echo '$ pictra sheet -r examples -o build/demo-sheet.png --scale 2'
"$pictra" sheet -r "$root/examples" -o "$root/build/demo-sheet.png" --scale 2
echo "(wrote $root/build/demo-sheet.png: every picture of the icons in examples/, labelled)"

# Icons made from artwork: examples/pictra-logo.svg is drawn by librsvg at
# every size each platform expects.
made=$out/made
mkdir -p "$made"
echo
echo '$ pictra create OUT/logo.icns examples/pictra-logo.svg'
"$pictra" create "$made/logo.icns" "$root/examples/pictra-logo.svg"
"$pictra" info "$made/logo.icns" | sed -n '/^images:/,$p'
echo
echo '$ pictra create OUT/logo.info examples/pictra-logo.svg --format NEWICON --sizes 64 --type tool'
"$pictra" create "$made/logo.info" "$root/examples/pictra-logo.svg" --format NEWICON --sizes 64 --type tool
"$pictra" info "$made/logo.info" | sed -n '/^images:/,$p'

# convert adapts what a format cannot take as it is, and says so: a
# 1024-pixel picture is more than a Windows icon holds, and the NewIcons
# palette pictures of examples/pictra.info become 32-bit ones for OS 4.
echo
echo '$ pictra create OUT/big.png examples/pictra-logo.svg --format PNG --sizes 1024'
"$pictra" create "$made/big.png" "$root/examples/pictra-logo.svg" --format PNG --sizes 1024
echo '$ pictra convert OUT/big.png OUT/big.ico'
"$pictra" convert "$made/big.png" "$made/big.ico" 2>&1 | sed "s|$made|OUT|"
"$pictra" info "$made/big.ico" | sed -n '/^images:/,$p'
echo
echo '$ pictra convert examples/pictra.info OUT/os4.info --format AMIGAOS40'
"$pictra" convert "$root/examples/pictra.info" "$made/os4.info" --format AMIGAOS40 2>&1 | sed "s|$root/||"
"$pictra" info "$made/os4.info" | sed -n '/^images:/,$p'
