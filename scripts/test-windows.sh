#!/usr/bin/env bash
# Cross-builds the Qt-free part of Morvala for Windows into build-win/ (mingw-w64) and runs
# its tests under Wine, with a Wine prefix of its own in build-win/wineprefix. The tests
# that talk to a logger get a COM port: $WINEPREFIX/dosdevices/comN links to the slave of
# a pseudo-terminal whose master the Linux build's simulator (build/loggersim) drives.
# morvala-cli.exe reads, downloads and flashes through a COM port the same way: its CSV is
# compared byte for byte with the Linux build's and with the CSV that an independent coding
# computes from the same flight, the flashed image with the HEX file.
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
cmake --build "$BUILD" -j"$(nproc)" --target test_windows morvala-cli
# The simulator is a Linux program, from the Linux build; so is the command-line tool that
# the Windows one is compared with.
cmake -S . -B "$LINUX_BUILD" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$LINUX_BUILD" -j"$(nproc)" --target loggersim morvala-cli
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
run plain '-ComPort*'

# The serial component against the bootloader (silent until "!", then "r").
start_sim COM7 --bootloader
run comport 'ComPortOnWine.*' MORVALA_TEST_COM=COM7
stop_sim

# A far end that hangs up after its first answer.
start_sim COM8 --bootloader --fault hangup-at=1
run hangup 'ComPortHangUp.*' MORVALA_TEST_COM=COM8
stop_sim

# morvala-cli.exe through COM11 against the simulated logger, and the Linux build's
# morvala-cli against the same simulator on a pseudo-terminal: what each writes must be
# the same bytes.
FLIGHT=$OUT/sample.flight
"$LINUX_BUILD/loggersim" --write-sample-flight "$FLIGHT" >/dev/null
RECORDS=$(grep -c '^[0-9]' "$FLIGHT")
LOGGER=(--flight "$FLIGHT" --fast --announce-every 1
        --config recordFlags1=255 recordFlags2=119 sampleRateCode=49 serialSensor=140
        flightNumber=7 eepromSize=2)
cp data/sample_firmware_crlf.hex "$OUT/firmware.hex"
printf ':10000000FFFF\r\nkein HEX\r\n' >"$OUT/bad.hex"

# cli_win NAME ARGS...: morvala-cli.exe in $OUT; stdout to NAME.out, stderr to NAME.err
# (without the CR that the Windows console adds), its status to NAME.status.
cli_win() {
  local name=$1
  shift
  local status=0
  (cd "$OUT" && timeout 300 "$WINE" "$BUILD/morvala-cli.exe" "$@") >"$OUT/$name.out" \
    2>"$OUT/$name.err.raw" || status=$?
  tr -d '\r' <"$OUT/$name.err.raw" >"$OUT/$name.err"
  echo "$status" >"$OUT/$name.status"
}
# cli_linux NAME ARGS...: the same with the Linux build's tool, against the simulator on
# the pseudo-terminal $OUT/tty.
cli_linux() {
  local name=$1
  shift
  local status=0
  (cd "$OUT" && timeout 300 "$LINUX_BUILD/morvala-cli" "$@") >"$OUT/$name.out" \
    2>"$OUT/$name.err" || status=$?
  echo "$status" >"$OUT/$name.status"
}
linux_sim() {
  rm -f "$OUT/tty"
  "$LINUX_BUILD/loggersim" --link "$OUT/tty" --lifetime 300 "$@" >"$OUT/sim-linux.out" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 100); do [ -L "$OUT/tty" ] && return 0; sleep 0.1; done
  return 1
}
same() { cmp "$OUT/$1" "$OUT/$2"; }
status_is() { [ "$(cat "$OUT/$1.status")" = "$2" ] || { echo "$1: status $(cat "$OUT/$1.status"), not $2"; cat "$OUT/$1.err"; false; }; }
nothing_received() { ! grep -q ' RX ' "$1"; }

start_sim COM11 "${LOGGER[@]}"
cli_win config-win config --json --port COM11
stop_sim
linux_sim "${LOGGER[@]}"
cli_linux config-linux config --json --port "$OUT/tty"
stop_sim
check CliConfigJsonReadsTheLogger status_is config-win 0
check CliConfigJsonAsOnLinux same config-linux.out config-win.out

start_sim COM11 "${LOGGER[@]}"
cli_win download-win download --port COM11 -o download-win.csv
stop_sim
linux_sim "${LOGGER[@]}"
cli_linux download-linux download --port "$OUT/tty" -o download-linux.csv
stop_sim
python3 tests/e2e/expected_csv.py "$FLIGHT" 0 $((RECORDS - 1)) "$OUT/expected.csv"
check CliDownloadCsvEqualsTheFlight same expected.csv download-win.csv
check CliDownloadCsvAsOnLinux same download-linux.csv download-win.csv

start_sim COM12 --bootloader --image-out "$OUT/programmed.hex"
cli_win flash-win flash --yes --port COM12 firmware.hex
stop_sim
check CliFlashBurnsTheFirmware status_is flash-win 0
check CliFlashedImageEqualsTheHexFile python3 tests/e2e/hexcmp.py "$OUT/firmware.hex" \
  "$OUT/programmed.hex"

start_sim COM12 --bootloader --log "$OUT/bad-sim.log"
cli_win badhex-win flash --yes --port COM12 bad.hex
stop_sim
cli_linux badhex-linux flash --yes --port "$OUT/tty" bad.hex
check CliBadHexFileIsAFileError status_is badhex-win 2
check CliBadHexFileAsOnLinux same badhex-linux.err badhex-win.err
check CliBadHexFileReachesNoLogger nothing_received "$OUT/bad-sim.log"

"$WINESERVER" -k 2>/dev/null || true
t3=$(date +%s)
echo "Wine tests: $((t3 - t2)) s"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
