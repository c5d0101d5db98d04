#!/bin/bash
# Prints the program's speed and memory figures in one run:
#   1. download throughput of the whole download path against the simulated logger
#      sending as fast as the pseudo-terminal takes it, as a ratio to the line rate,
#      and what each part of the path costs per record;
#   2. time from start to the shown window of build/morvala, as a ratio to a bare Qt window;
#   3. the firmware transfer's time per HEX line beyond the 10 ms pause of the exchange;
#   4. peak memory of a full download and of the idle window;
#   5. how many sample downloads are exact while a CPU-bound process runs on every core.
#   6. the flight analysis: opening a saved CSV of 65536 records and redrawing its lanes;
#   7. morvala-cli beside the window: download rate, and its start to the opened port;
#   8. the logbook: keeping a download of 65536 full records with its durable commit, the
#      tab "Flugbuch" with 10 000 flights (table, filter keystroke, opening a flight),
#      importing 100 CSV files of 2400 records, and the database's size over the dumps.
# Figures only: nothing here passes or fails on a time. The machine may be shared, so
# compare the figures of one run with each other (ratios), not with another run's.
#
# Usage: bench/run.sh [BUILD_DIR]     (default: build-bench next to this folder)
# Environment: BENCH_REPS (download repetitions, median taken; default 3),
#              BENCH_START_RUNS (start-up runs of each program; default 15),
#              BENCH_BUSY_REPS (sample downloads on the busy computer; default 5).
set -u
here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
build=${1:-$src/build-bench}
reps=${BENCH_REPS:-3}
startRuns=${BENCH_START_RUNS:-15}
busyReps=${BENCH_BUSY_REPS:-5}
export LC_ALL=C

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVALA_TESTS=OFF >/dev/null || exit 1
fi
cmake --build "$build" --target morvala morvala-cli loggersim morvala_bench morvala_bare_window -j2 >/dev/null || {
  echo "build failed" >&2
  exit 1
}
bench=$build/bench/morvala_bench
tmp=$(mktemp -d)
xvfbPid=
busyPids=()
cleanup() {
  [ ${#busyPids[@]} -gt 0 ] && kill "${busyPids[@]}" 2>/dev/null
  [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null && wait "$xvfbPid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# ---- the display ----
display=
if command -v Xvfb >/dev/null; then
  # Xvfb picks a free display itself and writes its number to the pipe.
  exec 3>"$tmp/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
  xvfbPid=$!
  exec 3>&-
  for _ in $(seq 100); do
    n=$(tr -dc 0-9 <"$tmp/display")
    [ -n "$n" ] && [ -e /tmp/.X11-unix/X$n ] && break
    sleep 0.05
  done
  if [ -n "$n" ] && kill -0 "$xvfbPid" 2>/dev/null; then
    display=:$n
  else
    kill "$xvfbPid" 2>/dev/null
    wait "$xvfbPid" 2>/dev/null
    xvfbPid=
  fi
fi
if [ -n "$display" ]; then
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
  platform="xcb on Xvfb $display"
else
  export QT_QPA_PLATFORM=offscreen
  platform="offscreen (Xvfb missing or not startable: the window figures are without an X server)"
fi
export XDG_RUNTIME_DIR=$tmp/runtime
# Every logbook of the benchmarks is their own, never the user's.
export XDG_DATA_HOME=$tmp/data
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

quiet() { grep -v -e '^QStandardPaths' -e '^DATA '; }
data() { grep '^DATA ' "$1" | tail -1; }
field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1"; }
# The simulator in its own process with the flight file $1 on the link $2, its output in
# $3; sets simPid and returns once the link is there.
startSim() {
  "$build/loggersim" --fast --flight "$1" --link "$2" --announce-every 0 \
    --power-on-delay 1500 --lifetime 120 >"$3" 2>&1 &
  simPid=$!
  for _ in $(seq 100); do
    [ -e "$2" ] && break
    sleep 0.05
  done
}

echo "Morvala benchmarks  $(date -u +%Y-%m-%dT%H:%M:%SZ)  $(git -C "$src" rev-parse --short HEAD 2>/dev/null)"
echo "build: $build ($(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt"))   platform: $platform"
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# ---- 1. download ----
echo "1. Download throughput (in-process window, simulated logger at pty speed, median of $reps)"
echo "   line rate 8N2 = baud / 11 / record bytes; ratio = records per second / line rate"
echo "   window    = LoggerButtonClick as clicked: decoder, live graph, status repaint per record"
echo "   throttled = the same, status bar repainted at most every 16 ms while only the count changes"
echo "   nostatus  = the same without the per-record status repaint"
echo "   headless  = the download code without a window (port, decoder, live bitmap)"
echo "   The port's input queue is set to 262142 bytes so that nothing is lost at pty speed;"
echo "   the paced runs below use the program's own queue."
for kind in "0x01 0x00 30000" "0xFF 0x77 2800"; do
  set -- $kind
  for v in window throttled nostatus headless; do
    "$bench" download --records "$3" --flags1 "$1" --flags2 "$2" --variant "$v" --reps "$reps" \
      --queue 262142 >"$tmp/dl_${1}_$v.txt" 2>&1
    quiet <"$tmp/dl_${1}_$v.txt"
  done
done
echo
echo "   Paced at the line rate with the program's own input queue (does it keep up?):"
for baud in 256000 115200; do
  "$bench" download --records 30000 --flags1 0x01 --flags2 0x00 --variant window --reps 1 \
    --baud "$baud" --label "at$baud" >"$tmp/paced_$baud.txt" 2>&1
  quiet <"$tmp/paced_$baud.txt"
  d=$(data "$tmp/paced_$baud.txt")
  [ -n "$d" ] && awk -v b="$baud" -v r="$(field "$d" rate)" -v c="$(field "$d" complete)" \
    'BEGIN { printf "   %-10s line rate %.0f rec/s, received at %.0f rec/s = %.3f of the line rate, %s\n",
             "", b / 22, r, r / (b / 22), c == 1 ? "all records" : "RECORDS LOST" }'
done
echo
w2=$(data "$tmp/dl_0x01_window.txt")
wf=$(data "$tmp/dl_0xFF_window.txt")
if [ -n "$w2" ] && [ -n "$wf" ]; then
  awk -v r2="$(field "$w2" rate)" -v rf="$(field "$wf" rate)" 'BEGIN {
    l2_256 = 256000 / 11 / 2; l2_38 = 38400 / 11 / 2
    printf "   Targets (2-byte, window): ratio at 256000 = %.2f (target >= 1.0: %s), at 38400 = %.2f (target >= 10: %s)\n",
           r2 / l2_256, (r2 / l2_256 >= 1.0) ? "met" : "NOT met", r2 / l2_38, (r2 / l2_38 >= 10) ? "met" : "NOT met"
    printf "   Full records (window): ratio at 256000 = %.2f, at 38400 = %.2f\n",
           rf / (256000 / 11 / 23), rf / (38400 / 11 / 23) }'
  for k in 0x01 0xFF; do
    a=$(data "$tmp/dl_${k}_window.txt"); b=$(data "$tmp/dl_${k}_nostatus.txt"); c=$(data "$tmp/dl_${k}_headless.txt")
    t=$(data "$tmp/dl_${k}_throttled.txt")
    [ -n "$a" ] && [ -n "$b" ] && [ -n "$c" ] && [ -n "$t" ] && awk -v by="$(field "$a" bytes)" \
      -v a="$(field "$a" rate)" -v b="$(field "$b" rate)" -v c="$(field "$c" rate)" -v t="$(field "$t" rate)" 'BEGIN {
      ua = 1e6 / a; ub = 1e6 / b; uc = 1e6 / c
      printf "   %2d-byte records: %.1f us per record in the window, of which the status repaint %.1f us (%.0f %%),\n",
             by, ua, ua - ub, 100 * (ua - ub) / ua
      printf "                    the rest of the window %.1f us, the download code itself %.1f us;\n", ub - uc, uc
      printf "                    throttling the status repaint gives %.0fx the rate of the window now\n", t / a }'
  done
fi
echo
echo "   Cost of each part, one part at a time on the shown window:"
"$bench" components 2>&1 | quiet
echo

# ---- 2. start-up ----
echo "2. Start to the shown window: build/morvala with a settings file, and as the yardstick"
echo "   a bare Qt Widgets program (a QApplication and one empty QMainWindow), started the"
echo "   same way, the two in turn, $startRuns runs each"
# startTime BINARY TITLE RUN: microseconds from the start to the shown window on stdout
# (empty when it did not show); the peak memory of the run in $tmp/rss_RUN.
startTime() {
  local bin=$1 title=$2 run=$3 attempt t0 pid shown
  for attempt in 1 2 3; do
    t0=$(date +%s%N)
    XDG_CONFIG_HOME=$cfg "$bin" >"$tmp/start_$run.log" 2>&1 &
    pid=$!
    shown=
    for _ in $(seq 2000); do
      if xdotool search --onlyvisible --pid "$pid" --name "^$title" >/dev/null 2>&1; then
        shown=$(date +%s%N)
        break
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.005
    done
    sleep 0.3
    sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' /proc/$pid/status >"$tmp/rss_$run" 2>/dev/null
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    # A display that refused the connection is tried again.
    [ -z "$shown" ] && grep -q "could not connect to display" "$tmp/start_$run.log" && continue
    [ -n "$shown" ] && echo $(((shown - t0) / 1000))
    return
  done
}
medianMs() {
  sort -n | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "none"; exit }
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f", m / 1000 }'
}
if [ -n "$display" ] && command -v xdotool >/dev/null; then
  cfg=$tmp/startcfg
  mkdir -p "$cfg/morvala"
  printf '[ComPort1]\r\nPort=/dev/null\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\nParity=None\r\nFlowControl=None\r\n' \
    >"$cfg/morvala/logger3.ini"
  : >"$tmp/start_morvala"
  : >"$tmp/start_bare"
  idleRss=
  for i in $(seq "$startRuns"); do
    startTime "$build/morvala" Morvala "m$i" >>"$tmp/start_morvala"
    r=$(cat "$tmp/rss_m$i" 2>/dev/null)
    [ -n "$r" ] && { [ -z "$idleRss" ] || [ "$r" -gt "$idleRss" ]; } && idleRss=$r
    startTime "$build/bench/morvala_bare_window" BareQtWindow "b$i" >>"$tmp/start_bare"
  done
  m=$(medianMs <"$tmp/start_morvala")
  b=$(medianMs <"$tmp/start_bare")
  echo "   build/morvala: median $m ms over $(wc -l <"$tmp/start_morvala") runs ($(sort -n "$tmp/start_morvala" | awk '{ printf "%s%.1f", (NR > 1 ? " " : ""), $1 / 1000 }'))"
  echo "   bare Qt window: median $b ms over $(wc -l <"$tmp/start_bare") runs ($(sort -n "$tmp/start_bare" | awk '{ printf "%s%.1f", (NR > 1 ? " " : ""), $1 / 1000 }'))"
  [ "$m" != none ] && [ "$b" != none ] && awk -v m="$m" -v b="$b" 'BEGIN {
    printf "   ratio %.2f (target <= 1.15: %s; the poll with xdotool adds up to about 5 ms to both)\n",
           m / b, (m / b <= 1.15 ? "met" : "NOT met") }'
else
  echo "   not measured: needs Xvfb and xdotool"
  idleRss=
fi
echo

# ---- 3. firmware ----
echo "3. Firmware transfer, simulated bootloader answering at once (pty speed)"
"$bench" firmware --lines 400 2>&1 | quiet
echo

# ---- 4. memory ----
echo "4. Peak memory (max RSS)"
if [ -x /usr/bin/time ]; then
  for kind in "0x01 0x00 30000" "0xFF 0x77 2800"; do
    set -- $kind
    "$bench" write-flight --records "$3" --flags1 "$1" --flags2 "$2" --out "$tmp/flight_$1.txt"
    startSim "$tmp/flight_$1.txt" "$tmp/tty_$1" "$tmp/sim_$1.log"
    /usr/bin/time -v -o "$tmp/time_$1.txt" "$bench" download --records "$3" --flags1 "$1" --flags2 "$2" \
      --variant window --reps 1 --queue 262142 --port "$tmp/tty_$1" --label "external" >"$tmp/mem_$1.txt" 2>&1
    kill "$simPid" 2>/dev/null
    wait "$simPid" 2>/dev/null
    d=$(data "$tmp/mem_$1.txt")
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$tmp/time_$1.txt")
    printf "   full download of %s records (%s), simulator in its own process: %s kB (%.1f MB)%s\n" \
      "$3" "$([ "$1" = 0x01 ] && echo "2-byte" || echo "23-byte")" "${kb:-?}" "$(awk -v k="${kb:-0}" 'BEGIN{print k/1024}')" \
      "$([ "$(field "$d" complete)" = 1 ] && echo "" || echo "  (download INCOMPLETE: $(quiet <"$tmp/mem_$1.txt" | tail -1))")"
  done
else
  echo "   /usr/bin/time missing (apt-get install time)"
fi
if [ -n "$idleRss" ]; then
  printf "   build/morvala at the shown window, idle: %s kB (%.1f MB)\n" "$idleRss" "$(awk -v k="$idleRss" 'BEGIN{print k/1024}')"
fi
echo "   (the downloads use a 256 kB input queue, see 1.; the sample table is one static block"
echo "   of 65536 x 25 bytes = 1600 kB)"
echo
if [ -f "$tmp/flight_0x01.txt" ]; then
echo "   With the program's own input queue (65536 bytes), a download sent in one burst by the"
echo "   simulator in its own process (pty speed, no pacing; the overflow boxes count the"
echo "   buffer warnings a user would have seen in the middle of the download):"
startSim "$tmp/flight_0x01.txt" "$tmp/tty_burst" "$tmp/sim_burst.log"
"$bench" download --records 30000 --flags1 0x01 --flags2 0x00 --variant window --reps 1 \
  --port "$tmp/tty_burst" --label "burst" 2>&1 | quiet
kill "$simPid" 2>/dev/null
wait "$simPid" 2>/dev/null
fi

# ---- 5. busy computer ----
cores=$(nproc)
for _ in $(seq "$cores"); do
  (while :; do :; done) &
  busyPids+=($!)
done
"$bench" download --sample --baud 38400 --variant window --reps "$busyReps" --label busy >"$tmp/busy.txt" 2>&1
kill "${busyPids[@]}" 2>/dev/null
wait "${busyPids[@]}" 2>/dev/null
busyPids=()
d=$(data "$tmp/busy.txt")
echo
if [ -n "$d" ]; then
  echo "5. Sample download (1200 records, 38400 baud, in the window) with $cores CPU-bound processes on $cores cores: $(field "$d" exact) of $busyReps exact"
else
  echo "5. Sample download with every core busy: no result ($(quiet <"$tmp/busy.txt" | tail -1))"
fi
echo

# ---- 6. flight analysis ----
echo "6. Flight analysis (targets: open under 0.5 s, derived channels under 20 ms, a redraw under 16 ms)"
"$bench" analysis --records 65536 --width 1280 --height 800 2>&1 | quiet
echo

# ---- 7. morvala-cli ----
echo "7. morvala-cli beside the window: 30000 two-byte records from the simulator in its own"
echo "   process, each program after its configuration read (records per second of the download)"
"$bench" write-flight --records 30000 --flags1 0x01 --flags2 0x00 --out "$tmp/cli_flight.txt"
for pace in 256000 fast; do
  simPace=$([ "$pace" = fast ] && echo "--fast" || echo "--baud $pace")
  # The window, as in 1.
  "$build/loggersim" $simPace --flight "$tmp/cli_flight.txt" --link "$tmp/tty_w$pace" \
    --announce-every 0 --power-on-delay 1500 --lifetime 120 >"$tmp/sim_w$pace.log" 2>&1 &
  simPid=$!
  for _ in $(seq 100); do [ -e "$tmp/tty_w$pace" ] && break; sleep 0.05; done
  "$bench" download --records 30000 --flags1 0x01 --flags2 0x00 --variant window --reps 1 \
    --port "$tmp/tty_w$pace" --label "w$pace" >"$tmp/cliw_$pace.txt" 2>&1
  kill "$simPid" 2>/dev/null; wait "$simPid" 2>/dev/null
  wd=$(data "$tmp/cliw_$pace.txt")
  # The tool: its last progress line gives the rate of the download.
  "$build/loggersim" $simPace --flight "$tmp/cli_flight.txt" --link "$tmp/tty_c$pace" \
    --announce-every 0 --power-on-delay 1500 --lifetime 120 >"$tmp/sim_c$pace.log" 2>&1 &
  simPid=$!
  for _ in $(seq 100); do [ -e "$tmp/tty_c$pace" ] && break; sleep 0.05; done
  "$build/morvala-cli" download --no-log --port "$tmp/tty_c$pace" -o "$tmp/cli_$pace.csv" \
    2>"$tmp/cli_$pace.err"
  kill "$simPid" 2>/dev/null; wait "$simPid" 2>/dev/null
  cr=$(grep 'Datensätze/s' "$tmp/cli_$pace.err" | tail -1 | sed -n 's/.*Bytes, \([0-9]*\) Datensätze\/s.*/\1/p')
  cn=$(grep 'Datensätze/s' "$tmp/cli_$pace.err" | tail -1 | sed -n 's/^\([0-9]*\) Datensätze.*/\1/p')
  awk -v p="$pace" -v w="$(field "$wd" rate)" -v wc="$(field "$wd" complete)" -v c="${cr:-0}" -v cn="${cn:-0}" 'BEGIN {
    printf "   %-7s window %.0f rec/s (%s), morvala-cli %.0f rec/s (%s records): CLI / window = %.2f (goal >= 1)\n",
           (p == "fast" ? "unpaced" : p), w, (wc == 1 ? "all records" : "RECORDS LOST"), c, cn,
           (w > 0 ? c / w : 0) }'
done
"$build/loggersim" --fast --link "$tmp/tty_start" --announce-every 0 --power-on-delay 600000 \
  --lifetime 120 >"$tmp/sim_start.log" 2>&1 &
simPid=$!
for _ in $(seq 100); do [ -e "$tmp/tty_start" ] && break; sleep 0.05; done
d=$(python3 "$here/cli_start.py" "$build/morvala-cli" "$tmp/tty_start" 21 | grep '^DATA')
kill "$simPid" 2>/dev/null; wait "$simPid" 2>/dev/null
echo "   morvala-cli start to the opened port (\"verbunden\"), 21 runs: median $(field "$d" median) ms (goal < 50 ms; runs $(field "$d" runs))"
echo

# ---- 8. logbook ----
echo "8. Logbook (targets: keeping under 100 ms, the table under 100 ms, a keystroke under 20 ms,"
echo "   opening a flight under 100 ms, 100 imports under 3 s, the database at most 10 % over the dumps)"
"$bench" logbook --flights 10000 2>&1 | quiet
