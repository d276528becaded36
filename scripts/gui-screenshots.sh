#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Remakes the README's window screenshots (docs/window-list.png, docs/window-thumbnails.png):
# the window on the bundled sample site, under a virtual X display, lists the sample account,
# ticks two albums, saves itself, switches to thumbnails and saves itself again.
# Needs a built tree (default build/) and xvfb (apt-get install xvfb xauth); the CJK font comes
# with scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The demo saves into ./albumora-demo: run it in a scratch folder.
(cd "$work" && QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" \
  "$OLDPWD/$build/bin/albumora-gui" --demo --screenshots "$OLDPWD/docs")
ls -l docs/window-list.png docs/window-thumbnails.png
