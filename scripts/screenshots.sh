#!/usr/bin/env bash
# Takes the pictures of the main states of the window for the documentation: idle, a
# configuration read, a finished download with the graph, and the firmware log. Runs
# the end-to-end walk under Xvfb with the simulated logger (tests/e2e/run_e2e.sh) and
# keeps the window of each state in docs/screenshots/{idle,config,download,firmware}.png,
# and the analysis window with both cursors placed in docs/screenshots/analysis.png.
#   scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x "$build/morvala" ] && [ -x "$build/loggersim" ] || scripts/build.sh
out=$PWD/docs/screenshots
mkdir -p "$out"
E2E_WINDOW_SHOTS=$out tests/e2e/run_e2e.sh "$build"
for state in idle config download firmware analysis; do
  [ -s "$out/$state.png" ] || { echo "missing $out/$state.png" >&2; exit 1; }
  # Small files: a palette of the few colours the window uses.
  convert "$out/$state.png" -strip -colors 64 "PNG8:$out/$state.png"
done
ls -l "$out"
