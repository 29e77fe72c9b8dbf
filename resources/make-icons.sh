#!/usr/bin/env bash
# Draws the application icon as PNG files at the sizes the package ships and
# the window uses, from the scalable icon beside this script (needs
# rsvg-convert, package librsvg2-bin; only to make them anew), then checks
# that none spills outside its rounded tile:
#
#   resources/make-icons.sh
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" com.nordaxis.TallowmereUninstallWizard.svg -o "icons/AppIcon-$size.png"
done
python3 check-icons.py
