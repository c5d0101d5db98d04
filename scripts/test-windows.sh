#!/usr/bin/env bash
# Cross-builds the Qt-free part of Morvala for Windows into build-win/ (mingw-w64) and runs
# its tests under Wine, with a Wine prefix of its own in build-win/wineprefix. The tests
# that talk to a logger get a COM port: $WINEPREFIX/dosdevices/comN links to the slave of
# a pseudo-terminal whose master the Linux build's simulator (build/loggersim) drives.
# The download's CSV written under Wine is compared byte for byte with the CSV computed
# from the same flight by an independent coding, the flashed image with the HEX file.
# Ends with the line "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build-win
LINUX_BUILD=${LINUX_BUILD_DIR:-$ROOT/build}
WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$WINE" ] || { echo "wine64 is missing (scripts/setup.sh installs it)" >&2; exit 1; }
WINESERVER=$(command -v wineserver || echo "$(dirname "$WINE")/wineserver")

t0=$(date +%s)
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target test_windows
# The simulator is a Linux program, from the Linux build.
cmake -S . -B "$LINUX_BUILD" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$LINUX_BUILD" -j"$(nproc)" --target loggersim
t1=$(date +%s)
echo "cross-build: $((t1 - t0)) s"

export WINEPREFIX=$BUILD/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  "$WINESERVER" -w 2>/dev/null || true
fi
[ -d "$WINEPREFIX/dosdevices" ] || { echo "no Wine prefix in $WINEPREFIX" >&2; exit 1; }

OUT=$BUILD/wine-tests
rm -rf "$OUT"
mkdir -p "$OUT"
TESTS=$BUILD/tests/windows/test_windows.exe
PASSED=0
FAILED=0
SIM_PID=

stop_sim() {
  [ -n "$SIM_PID" ] || return 0
  kill "$SIM_PID" 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$SIM_PID" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=
}
trap stop_sim EXIT

# start_sim COMn ARGS...: the simulator behind COMn.
start_sim() {
  local com=$1
  shift
  local link=$WINEPREFIX/dosdevices/${com,,}
  rm -f "$link"
  "$LINUX_BUILD/loggersim" --link "$link" --lifetime 300 "$@" >"$OUT/sim-$com.out" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 100); do [ -L "$link" ] && return 0; sleep 0.1; done
  echo "the simulator behind $com did not start" >&2
  return 1
}

# run NAME FILTER [VAR=VALUE...]: one run of the test program under Wine.
run() {
  local name=$1 filter=$2
  shift 2
  local log=$OUT/$name.log status=0
  (cd "$OUT" && env "$@" timeout 600 "$WINE" "$TESTS" --gtest_filter="$filter") >"$log" 2>&1 ||
    status=$?
  local passed failed
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -1)
  failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log" | tail -1)
  passed=${passed:-0}
  failed=${failed:-0}
  if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi
  grep -E '^\[  (FAILED|     OK) \]|watchdog' "$log" || true
  [ "$status" -eq 0 ] || { echo "--- $name: exit $status, log $log"; tail -30 "$log"; }
  PASSED=$((PASSED + passed))
  FAILED=$((FAILED + failed))
}

# check NAME COMMAND...: a comparison made here counts as one test.
check() {
  local name=$1
  shift
  if "$@" >"$OUT/$name.check" 2>&1; then
    echo "[       OK ] $name"
    PASSED=$((PASSED + 1))
  else
    echo "[  FAILED  ] $name"
    cat "$OUT/$name.check"
    FAILED=$((FAILED + 1))
  fi
}

t2=$(date +%s)
# The exchanges on the scripted line, the settings folder, the files.
run plain '-ComPort*:ExchangesOnWine.*'

# The serial component against the bootloader (silent until "!", then "r").
start_sim COM7 --bootloader
run comport 'ComPortOnWine.*' MORVALA_TEST_COM=COM7
stop_sim

# A far end that hangs up after its first answer.
start_sim COM8 --bootloader --fault hangup-at=1
run hangup 'ComPortHangUp.*' MORVALA_TEST_COM=COM8
stop_sim

# Configuration read and download against the logger's firmware; the CSV byte for byte.
FLIGHT=$OUT/sample.flight
"$LINUX_BUILD/loggersim" --write-sample-flight "$FLIGHT" >/dev/null
RECORDS=$(grep -c '^[0-9]' "$FLIGHT")
start_sim COM9 --flight "$FLIGHT" --fast --announce-every 1 \
  --config recordFlags1=255 recordFlags2=119 sampleRateCode=49 serialSensor=140 flightNumber=7 \
  eepromSize=2
run download 'ExchangesOnWine.ReadsTheConfigurationAndDownloadsTheFlight' MORVALA_TEST_COM=COM9 \
  MORVALA_TEST_CSV=download.csv
stop_sim
python3 tests/e2e/expected_csv.py "$FLIGHT" 0 $((RECORDS - 1)) "$OUT/expected.csv"
check DownloadCsvEqualsTheFlight cmp "$OUT/expected.csv" "$OUT/download.csv"

# The firmware update against the bootloader, which writes what it was given on exit.
start_sim COM10 --bootloader --image-out "$OUT/programmed.hex"
run flash 'ExchangesOnWine.FlashesTheSampleFirmware' MORVALA_TEST_COM=COM10
stop_sim
check FlashedImageEqualsTheHexFile python3 tests/e2e/hexcmp.py data/sample_firmware_crlf.hex \
  "$OUT/programmed.hex"

"$WINESERVER" -k 2>/dev/null || true
t3=$(date +%s)
echo "Wine tests: $((t3 - t2)) s"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
