#!/usr/bin/env bash
# Formats every C/C++ file in place as .clang-format says (the files scripts/format-check.sh
# checks).
set -euo pipefail
source "$(dirname "$0")/format-files.sh"
find_clang_format
cd "$MORVALA_ROOT"
format_files | xargs -0 -r "$CLANG_FORMAT" -i
