# Sourced by scripts/format.sh and scripts/format-check.sh: the one place that says which
# files are formatted and which clang-format formats them.
#
# The files: every C/C++ source and header git tracks. Left out are fuzz/corpus/ and data/
# (inputs for the programs, never compiled, whatever their names) and the build folders
# (moc, uic and rcc output is generated there and never tracked).
#
# The binary: clang-format 14 (Debian 12's `clang-format` package, installed by
# scripts/setup.sh). Other major versions lay out the same code differently, so a check
# run with whatever clang-format comes first on PATH could fail on a tree formatted
# correctly. clang-format-14 is preferred when present; a plain clang-format is accepted
# only when it is version 14. CLANG_FORMAT names another binary of version 14.

format_files() {
  git -C "$MORVALA_ROOT" ls-files -z -- \
    '*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' '*.hxx' \
    ':(exclude)fuzz/corpus/**' ':(exclude)data/**'
}

# Sets CLANG_FORMAT to a clang-format of major version 14 or exits with a message.
find_clang_format() {
  local wanted=14 candidate version
  for candidate in ${CLANG_FORMAT:-} clang-format-$wanted clang-format; do
    command -v "$candidate" >/dev/null 2>&1 || continue
    version=$("$candidate" --version 2>/dev/null | sed -n 's/.*clang-format version \([0-9]*\).*/\1/p')
    if [ "$version" = "$wanted" ]; then
      CLANG_FORMAT=$(command -v "$candidate")
      return 0
    fi
    echo "format: $candidate is version ${version:-unknown}, not $wanted; skipped" >&2
  done
  echo "format: clang-format $wanted not found; install it with scripts/setup.sh" \
       "(Debian package clang-format)" >&2
  exit 2
}

MORVALA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
