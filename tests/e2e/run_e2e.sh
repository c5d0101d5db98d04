#!/usr/bin/env bash
# End-to-end run of the real program: build/morvala under Xvfb against build/loggersim on
# a pseudo-terminal, driven as a user with xdotool at the controls' positions.
#
#   run_e2e.sh BUILD_DIR
#
# The walk: read the configuration, download the flight, set both markers on the graph,
# save the CSV and compare it byte for byte with the flight the simulator sent; on the
# "Auswertung" tab open the analysis window, place both cursors and save the track as GPX,
# which GPSBabel must read as the flight's coordinates between the cursors; back to
# the start, read again, change the configuration with "löschen SingleLog" and write it
# (the simulator's log must show the 11-byte write message with delete mode 255); then
# the logger in its bootloader: burn a HEX file on the "Firmwareupdate" tab and compare
# the programmed image with the file. Screenshots of every step go to BUILD_DIR/e2e/.
#
# With E2E_WINDOW_SHOTS=DIR the window of the four main states is also saved as
# DIR/{idle,config,download,firmware}.png and the analysis window as DIR/analysis.png
# (scripts/screenshots.sh).
# Exit 0 only when every check passed.
set -uo pipefail

BUILD=$(cd "${1:?usage: run_e2e.sh BUILD_DIR}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(cd "$HERE/../.." && pwd)
# shellcheck source=e2e_lib.sh
source "$HERE/e2e_lib.sh"

SHOTS=$BUILD/e2e
WINDOW_SHOTS=${E2E_WINDOW_SHOTS:-}
rm -rf "$SHOTS"
mkdir -p "$SHOTS"
T=$(mktemp -d /tmp/morvala-e2e.XXXXXX)
FAILS=()

finish() {
  local rc=$?
  e2e_cleanup
  cp -f "$T"/*.log "$T"/*.out "$SHOTS/" 2>/dev/null || true
  rm -rf "$T"
  if ((${#FAILS[@]})); then
    echo "e2e FAILED (${#FAILS[@]}):"
    printf '  - %s\n' "${FAILS[@]}"
    echo "screenshots and logs: $SHOTS"
    exit 1
  fi
  [ "$rc" = 0 ] || { echo "e2e FAILED: aborted (exit $rc)"; exit 1; }
  echo "e2e passed; screenshots in $SHOTS"
  exit 0
}
trap finish EXIT
trap 'exit 130' INT TERM

fail() { FAILS+=("$*"); e2e_log "FAIL: $*"; }
# Fatal: the walk cannot go on.
abort() { fail "$*"; e2e_shot "$SHOTS" aborted; exit 1; }
window_shot() { [ -z "$WINDOW_SHOTS" ] || e2e_shot_window "$WINDOW_SHOTS/$1.png"; }

for tool in Xvfb xdotool import convert python3 gpsbabel; do
  command -v "$tool" >/dev/null || abort "$tool is not installed"
done
for bin in morvala loggersim; do
  [ -x "$BUILD/$bin" ] || abort "$BUILD/$bin is not built"
done

TTY=$T/logger-tty
CONFIG_HOME=$T/config
SIM_LOG=$T/sim.log
BOOT_LOG=$T/boot.log
FLIGHT=$T/flight.txt
CSV=$T/flight.csv
HEX=$SRC/data/sample_firmware_crlf.hex
IMAGE=$T/programmed.hex

# The logger's configuration, given explicitly so that the expected write message
# follows from it: all channels of the sample flight, 1 s, serial number 12, MS5534A.
SIM_CONFIG=(recordFlags1=255 recordFlags2=119 sampleRateCode=49 teleFlags1=1 teleFlags2=128
            adc3Offset=0 serialSensor=140 flightNumber=7 eepromSize=2)

"$BUILD/loggersim" --write-sample-flight "$FLIGHT" >/dev/null || abort "no sample flight"
RECORDS=$(grep -c '^[0-9]' "$FLIGHT")
((RECORDS > 10)) || abort "sample flight has $RECORDS records"

e2e_start_xvfb "$T" || abort "Xvfb did not start"
e2e_start_sim "$BUILD" "$TTY" "$SIM_LOG" --flight "$FLIGHT" --announce-every 3 \
  --config "${SIM_CONFIG[@]}" || abort "simulator did not start"
e2e_write_ini "$CONFIG_HOME" "$TTY"
e2e_start_morvala "$BUILD" "$CONFIG_HOME" "$T/morvala.out" || abort "the window did not come up"
e2e_log "neutral status colour $E2E_NEUTRAL"
e2e_shot "$SHOTS" idle
window_shot idle

# Positions in the page's client area (x, y of a point inside the control).
START_BUTTON=(60 60)
LOGGER_BUTTON=(60 100)
RESET_BUTTON=(60 140)
WRITE_BUTTON=(180 288)
AD4_BOX=(264 184)            # GroupBox1 (248, 40) + AD4CheckBox (8, 136), on the box
SINGLELOG_ITEM=(132 247)     # LRadioGroup item 2 "löschen SingleLog"
PAINTBOX=(120 80)            # PaintBox1, 473 x 137
HEX_BUTTON=(260 36)          # Button1 "HEX-File  auswählen" on the firmware page
DIAGRAM_BUTTON=(70 50)       # "Diagramm…" on the analysis page
GPX_BUTTON=(70 73)           # "GPX speichern…"
# Positions in the window's client area.
SAVE_BUTTON=(37 13)
EXIT_BUTTON=(622 13)
FIRMWARE_TAB=(279 50)
ANALYSIS_TAB=(382 50)
LOGGER_TAB=(110 50)

# ---- 1. read the configuration ----
e2e_log "Konfiguration lesen"
e2e_click_page "${START_BUTTON[@]}"
e2e_wait 40 "green status after the read" e2e_status_is "$E2E_GREEN" || abort "configuration not read"
e2e_wait 5 "acknowledgement in the simulator's log" e2e_log_has "$SIM_LOG" "# acknowledged" ||
  fail "the simulator saw no acknowledgement"
e2e_shot "$SHOTS" config-read
window_shot config

# ---- 2. download ----
e2e_log "Daten einlesen"
e2e_click_page "${LOGGER_BUTTON[@]}"
e2e_wait 30 "the download request" e2e_log_has "$SIM_LOG" "# download$" || abort "no download request"
e2e_wait 180 "the end of the download stream" e2e_log_has "$SIM_LOG" "# download end" ||
  abort "download did not end"
e2e_wait 60 "green status after the download" e2e_status_is "$E2E_GREEN" || abort "download result not shown"
e2e_alive || abort "the program ended during the download"
e2e_shot "$SHOTS" download
window_shot download

# ---- 3. markers ----
LEFT_X=100
RIGHT_X=400
e2e_click_page $((PAINTBOX[0] + LEFT_X)) $((PAINTBOX[1] + 60)) 1
e2e_click_page $((PAINTBOX[0] + RIGHT_X)) $((PAINTBOX[1] + 60)) 3
# The bands outside the markers are inverted: white above the curve turns black. Columns
# 50, 250 and 440 lie between the minute lines of a 20-minute graph.
paint_pixel() { e2e_pixel $((E2E_PAGE_X + PAINTBOX[0] + $1)) $((E2E_PAGE_Y + PAINTBOX[1] + $2)); }
e2e_wait 10 "the left band" test "$(paint_pixel 50 30)" = "0,0,0" || fail "left band not shaded: $(paint_pixel 50 30)"
e2e_wait 10 "the right band" test "$(paint_pixel 440 30)" = "0,0,0" || fail "right band not shaded: $(paint_pixel 440 30)"
[ "$(paint_pixel 250 30)" = "255,255,255" ] || fail "area between the markers not white: $(paint_pixel 250 30)"
e2e_shot "$SHOTS" markers

# ---- 4. save the CSV ----
e2e_log "CSV speichern"
e2e_click "${SAVE_BUTTON[@]}"
e2e_wait 20 "the save dialog" e2e_window_shown '^Speichern unter$' || abort "no save dialog"
e2e_shot "$SHOTS" save-dialog
e2e_type_into '^Speichern unter$' "$CSV" || abort "could not type into the save dialog"
e2e_wait 20 "the CSV file" e2e_file_settled "$CSV" || abort "CSV not written"
e2e_wait 10 "the save dialog to close" e2e_window_gone '^Speichern unter$' || fail "save dialog still open"
read -r FIRST LAST < <(python3 -c "
n, w = $RECORDS - 1, 473
print(round($LEFT_X * n / w), round($RIGHT_X * n / w))")
python3 "$HERE/expected_csv.py" "$FLIGHT" "$FIRST" "$LAST" "$T/expected.csv" || abort "expected CSV not computed"
if cmp -s "$T/expected.csv" "$CSV"; then
  e2e_log "CSV equal to the expected file (records $FIRST..$LAST, $(wc -c <"$CSV") bytes)"
else
  cp "$CSV" "$SHOTS/saved.csv"
  cp "$T/expected.csv" "$SHOTS/expected.csv"
  fail "CSV differs from the flight (records $FIRST..$LAST): $(cmp "$T/expected.csv" "$CSV" 2>&1 | head -1)"
fi

# ---- 4a. the flight analysis: diagram, cursors, GPX ----
e2e_log "Auswertung"
FULL_CSV=$T/full.csv
GPX=$T/track.gpx
python3 "$HERE/expected_csv.py" "$FLIGHT" 0 $((RECORDS - 1)) "$FULL_CSV" || abort "full CSV not computed"
# "zum Anfang" first: the analysis keeps its own copy of the flight.
e2e_click_page "${RESET_BUTTON[@]}"
e2e_wait 10 "neutral status after the reset" e2e_status_is "$E2E_NEUTRAL" || abort "no reset before the analysis"
e2e_click "${ANALYSIS_TAB[@]}"
e2e_wait 10 "the analysis tab's status" e2e_status_is "$E2E_NEUTRAL" || fail "status not neutral on the analysis tab"
sleep 0.5
e2e_shot "$SHOTS" analysis-tab
e2e_click_page "${DIAGRAM_BUTTON[@]}"
e2e_wait 20 "the analysis window" e2e_window_shown '^Flugauswertung$' || abort "no analysis window"
sleep 1
AW=$(e2e_find_window '^Flugauswertung$')
AGEOM=$(xdotool getwindowgeometry --shell "$AW")
AX=$(sed -n 's/^X=//p' <<<"$AGEOM"); AY=$(sed -n 's/^Y=//p' <<<"$AGEOM")
AWIDTH=$(sed -n 's/^WIDTH=//p' <<<"$AGEOM"); AHEIGHT=$(sed -n 's/^HEIGHT=//p' <<<"$AGEOM")
# The diagram fills the left three quarters of the window: a click near its left third
# takes cursor A there, one further right cursor B.
for fx in 30 62; do
  xdotool mousemove --sync $((AX + AWIDTH * fx / 100)) $((AY + AHEIGHT * 40 / 100)) click 1
  sleep 0.3
done
e2e_shot "$SHOTS" analysis-cursors
[ -z "$WINDOW_SHOTS" ] || import -window "$AW" "$WINDOW_SHOTS/analysis.png" 2>/dev/null
xdotool windowraise "$(e2e_main_window)"
sleep 0.3
e2e_click_page "${GPX_BUTTON[@]}"
e2e_wait 20 "the GPX save dialog" e2e_window_shown '^Speichern unter$' || abort "no save dialog for the GPX file"
e2e_type_into '^Speichern unter$' "$GPX" || abort "could not type into the GPX save dialog"
e2e_wait 20 "the GPX file" e2e_file_settled "$GPX" || abort "GPX not written"
e2e_wait 10 "the save dialog to close" e2e_window_gone '^Speichern unter$' || fail "GPX save dialog still open"
if gpsbabel -t -i gpx -f "$GPX" -o unicsv -F "$T/track.unicsv" 2>"$T/gpsbabel.log"; then
  if CHECK=$(python3 "$HERE/trackcheck.py" "$T/track.unicsv" "$FULL_CSV" 2>&1); then
    e2e_log "GPX read by GPSBabel: $CHECK"
  else
    cp "$GPX" "$T/track.unicsv" "$SHOTS/" 2>/dev/null
    fail "GPX track wrong: $CHECK"
  fi
else
  fail "GPSBabel could not read the GPX file: $(head -3 "$T/gpsbabel.log")"
fi
e2e_key_into '^Flugauswertung$' Escape
e2e_wait 10 "the analysis window to close" e2e_window_gone '^Flugauswertung$' || fail "Escape did not close the analysis window"
e2e_click "${LOGGER_TAB[@]}"
sleep 0.5

# ---- 5. read again, change and write with "löschen SingleLog" ----
e2e_log "zum Anfang, Konfiguration lesen, ändern, festlegen"
e2e_click_page "${RESET_BUTTON[@]}"
e2e_wait 10 "neutral status after the reset" e2e_status_is "$E2E_NEUTRAL" || abort "no reset"
ACKS_BEFORE=$(grep -c "# acknowledged" "$SIM_LOG")
e2e_click_page "${START_BUTTON[@]}"
e2e_wait 40 "green status after the second read" e2e_status_is "$E2E_GREEN" || abort "second read failed"
e2e_wait 5 "the second acknowledgement" test "$(grep -c '# acknowledged' "$SIM_LOG")" -gt "$ACKS_BEFORE" ||
  fail "second read not acknowledged"
RX_FROM=$(wc -l <"$SIM_LOG")
e2e_click_page "${AD4_BOX[@]}"
e2e_click_page "${SINGLELOG_ITEM[@]}"
e2e_shot "$SHOTS" config-changed
e2e_click_page "${WRITE_BUTTON[@]}"
e2e_wait 20 "the write message" e2e_log_has "$SIM_LOG" "# write message" || abort "no write message arrived"
e2e_shot "$SHOTS" config-writing
e2e_wait 30 "the delete" e2e_log_has "$SIM_LOG" "# deleted" || fail "the simulator did not delete"
e2e_wait 45 "green status after the read-back" e2e_status_is "$E2E_GREEN" || fail "no read-back after the write"
e2e_shot "$SHOTS" config-written
# The bytes the program sent after the second read: the write message is 0x63 and ten
# bytes; AD4 (bit 5 of RecordFlags1) is now off, delete mode 255.
WRITE=$(tail -n +"$((RX_FROM + 1))" "$SIM_LOG" | sed -n 's/^[0-9.]* RX \(..\)$/\1/p' | tr '\n' ' ' |
  grep -o '63\( [0-9A-F][0-9A-F]\)\{10\}' | head -1)
EXPECT_WRITE="63 DF 77 31 00 00 01 80 00 8C FF"
[ "$WRITE" = "$EXPECT_WRITE" ] || fail "write message '$WRITE', expected '$EXPECT_WRITE'"
e2e_log_has "$SIM_LOG" "# write message, delete mode 255" || fail "simulator did not see delete mode 255"

# ---- 6. firmware update with the logger in its bootloader ----
e2e_log "Firmwareupdate"
e2e_click_page "${RESET_BUTTON[@]}"   # closes the port
e2e_wait 10 "neutral status after the reset" e2e_status_is "$E2E_NEUTRAL" || abort "no reset before the update"
e2e_stop_sim
e2e_start_sim "$BUILD" "$TTY" "$BOOT_LOG" --bootloader --image-out "$IMAGE" || abort "bootloader simulator did not start"
e2e_click "${FIRMWARE_TAB[@]}"
sleep 0.5
e2e_shot "$SHOTS" firmware-tab
e2e_click_page "${HEX_BUTTON[@]}"
e2e_wait 20 "the open dialog" e2e_window_shown '^..*ffnen$' || abort "no open dialog"
e2e_type_into '^..*ffnen$' "$HEX" || abort "could not type into the open dialog"
e2e_wait 20 "the confirmation" e2e_window_shown '^Best' || abort "no confirmation box"
e2e_shot "$SHOTS" firmware-confirm
e2e_key_into '^Best' alt+j || abort "could not answer the confirmation"
e2e_wait 120 "the success box" e2e_window_shown '^Information$' || {
  e2e_window_shown '^Fehler$' && fail "the update showed an error box"
  abort "no success box after the update"
}
e2e_shot "$SHOTS" firmware-done
window_shot firmware
e2e_log_has "$BOOT_LOG" "# trigger 1" || fail "the bootloader saw no trigger"
e2e_key_into '^Information$' Return
e2e_wait 10 "the success box to close" e2e_window_gone '^Information$' || fail "success box did not close"
e2e_window_shown '^Fehler$' && fail "an error box is shown after the update"
e2e_shot "$SHOTS" firmware-closed
e2e_stop_sim
e2e_wait 10 "the programmed image" test -s "$IMAGE" || abort "the simulator wrote no image"
python3 "$HERE/hexcmp.py" "$HEX" "$IMAGE" || fail "programmed image differs from $HEX"

# ---- 7. the program answers and ends ----
e2e_alive || fail "the program ended by itself"
e2e_click "${EXIT_BUTTON[@]}"
e2e_wait 15 "the program to end" bash -c "! kill -0 $E2E_MORVALA_PID 2>/dev/null" || fail "Ende did not end the program"
exit 0
