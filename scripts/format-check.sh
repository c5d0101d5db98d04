#!/usr/bin/env bash
# Checks that every C/C++ file is formatted as .clang-format says; lists the files that
# are not and exits nonzero. Changes nothing.
set -euo pipefail
source "$(dirname "$0")/format-files.sh"
find_clang_format
cd "$MORVALA_ROOT"
# A broken .clang-format would otherwise show up as every file being unformatted.
"$CLANG_FORMAT" --dump-config >/dev/null
status=0
report=$(format_files | xargs -0 -r "$CLANG_FORMAT" --dry-run --Werror --ferror-limit=1 2>&1) ||
  status=$?
unformatted=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
              <<<"$report" | sort -u)
if [ -n "$unformatted" ]; then
  echo "Not formatted ($(wc -l <<<"$unformatted") files):"
  sed 's/^/  /' <<<"$unformatted"
  echo "Fix: scripts/format.sh (then review and commit the changes)"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  # clang-format failed for another reason (an unreadable file, a crash): show it.
  printf '%s\n' "$report" >&2
  echo "format: $CLANG_FORMAT failed (status $status)" >&2
  exit "$status"
fi
echo "Format: every file as .clang-format says ($("$CLANG_FORMAT" --version | sed 's/.*version //'))"
