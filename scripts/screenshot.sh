#!/usr/bin/env bash
# Saves a PNG of a build tree's Xvfb display: screenshot.sh BUILD_DIR OUT.png
set -eu
root=$(cd "$1" && pwd)
out=$2
display=$(cat "$root/xvfb.display")
DISPLAY=$display import -window root "$out"
