# Helpers for driving the real program under Xvfb with the simulated logger: start and
# stop of the processes, clicks at the controls' positions, screenshots and waits on what
# is visible. Sourced by run_e2e.sh and scripts/screenshots.sh.
#
# Positions are those of the window's client area (641 x 428, no frame without a window
# manager). The controls of both tab pages sit in the page's client area, whose origin
# lies at (10, 61) of the client area: PageControl1 at (8, 40) plus the page frame and
# the tab row (2, 21), measured once with QWidget::mapTo under Xvfb.

E2E_PAGE_X=10
E2E_PAGE_Y=61

# Status bar colours as the screen shows them.
E2E_GREEN="172,252,178"
E2E_RED="255,218,218"
E2E_NEUTRAL=""   # read from the screen at start-up (it follows the style)

E2E_PIDS=()
E2E_WIN_X=0
E2E_WIN_Y=0
E2E_SHOT_NO=0

e2e_log() { echo "[e2e $(date +%H:%M:%S)] $*"; }

# Kills every process this script started, newest first; waits a bounded time for each.
e2e_cleanup() {
  local i pid
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${E2E_PIDS[i]}
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  E2E_PIDS=()
}

# e2e_wait SECONDS DESCRIPTION COMMAND...: polls COMMAND every 0.2 s until it succeeds.
e2e_wait() {
  local seconds=$1 what=$2
  shift 2
  local end=$((SECONDS + seconds))
  while ((SECONDS < end)); do
    if "$@"; then return 0; fi
    sleep 0.2
  done
  e2e_log "timed out after ${seconds}s waiting for: $what"
  return 1
}

# Starts Xvfb on a free display (chosen by Xvfb itself) and exports DISPLAY.
e2e_start_xvfb() {
  local dir=$1 fdfile="$1/xvfb.display"
  : >"$fdfile"
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$fdfile" >"$dir/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  e2e_wait 20 "Xvfb to report its display" test -s "$fdfile" || return 1
  export DISPLAY=":$(tr -dc '0-9' <"$fdfile")"
  e2e_wait 20 "display $DISPLAY to answer" xdotool getmouselocation >/dev/null 2>&1 || return 1
  e2e_log "Xvfb on $DISPLAY"
}

# e2e_start_sim BUILD LINK LOG ARGS...: starts the simulated logger with a symlink LINK
# to its slave and waits for the link.
e2e_start_sim() {
  local build=$1 link=$2 log=$3
  shift 3
  rm -f "$link"
  "$build/loggersim" --link "$link" --log "$log" --lifetime 900 "$@" >"$log.out" 2>&1 &
  E2E_SIM_PID=$!
  E2E_PIDS+=($E2E_SIM_PID)
  e2e_wait 20 "the simulator's link $link" test -e "$link"
}

# Ends the simulator started last (it writes its --image-out file on the way out).
e2e_stop_sim() {
  local pid=$E2E_SIM_PID
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
}

# e2e_write_ini CONFIG_HOME PORT: the settings file of the program's own settings folder.
e2e_write_ini() {
  mkdir -p "$1/morvala"
  printf '[ComPort1]\r\nPort=%s\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\nParity=None\r\nFlowControl=None\r\n' \
    "$2" >"$1/morvala/logger3.ini"
}

e2e_main_window() { xdotool search --onlyvisible --name '^Morvala V3\.7 $' 2>/dev/null | head -1; }

# e2e_start_morvala BUILD CONFIG_HOME OUT: starts the program and waits for its window.
e2e_start_morvala() {
  local build=$1 home=$2 out=$3
  # The logbook beside the settings folder, never the user's.
  XDG_CONFIG_HOME="$home" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=xcb LC_ALL=C \
    "$build/morvala" >"$out" 2>&1 &
  E2E_MORVALA_PID=$!
  E2E_PIDS+=($E2E_MORVALA_PID)
  e2e_wait 60 "the main window" e2e_have_window || return 1
  local geom
  geom=$(xdotool getwindowgeometry --shell "$(e2e_main_window)")
  E2E_WIN_X=$(sed -n 's/^X=//p' <<<"$geom")
  E2E_WIN_Y=$(sed -n 's/^Y=//p' <<<"$geom")
  e2e_log "main window at $E2E_WIN_X,$E2E_WIN_Y"
  # Start-up is over when the status bar shows one colour twice in a row; that is the
  # neutral colour of this style, used later to tell work in progress from results.
  e2e_wait 30 "the idle status bar" e2e_status_steady || return 1
  E2E_NEUTRAL=$(e2e_status_color)
  case "$E2E_NEUTRAL" in
    "$E2E_GREEN" | "$E2E_RED" | "") e2e_log "status bar shows $E2E_NEUTRAL at start"; return 1 ;;
  esac
}
e2e_status_steady() {
  local a b
  a=$(e2e_status_color)
  sleep 0.3
  b=$(e2e_status_color)
  [ -n "$a" ] && [ "$a" = "$b" ]
}
e2e_have_window() { [ -n "$(e2e_main_window)" ] && kill -0 "$E2E_MORVALA_PID" 2>/dev/null; }
e2e_alive() { kill -0 "$E2E_MORVALA_PID" 2>/dev/null; }

# Colour "r,g,b" of the screen pixel at window position (x, y).
e2e_pixel() {
  import -window root -depth 8 -crop "1x1+$((E2E_WIN_X + $1))+$((E2E_WIN_Y + $2))" +repage txt:- 2>/dev/null |
    sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1,\2,\3/p'
}

# The status bar's colour, taken at the right end of panel 1 where no text reaches.
e2e_status_color() { e2e_pixel 635 405; }
e2e_status_is() { [ "$(e2e_status_color)" = "$1" ]; }

# e2e_click X Y [BUTTON]: a click at window position (x, y).
e2e_click() {
  xdotool mousemove --sync $((E2E_WIN_X + $1)) $((E2E_WIN_Y + $2)) click "${3:-1}"
}
# The same at a position of the tab page's client area.
e2e_click_page() { e2e_click $((E2E_PAGE_X + $1)) $((E2E_PAGE_Y + $2)) "${3:-1}"; }

# e2e_shot DIR NAME: screenshot of the whole screen.
e2e_shot() {
  E2E_SHOT_NO=$((E2E_SHOT_NO + 1))
  import -window root "$1/$(printf '%02d' $E2E_SHOT_NO)-$2.png" 2>/dev/null || true
}
# e2e_shot_window FILE: screenshot cropped to the main window.
e2e_shot_window() {
  import -window root -crop "641x428+$E2E_WIN_X+$E2E_WIN_Y" +repage "$1" 2>/dev/null
}

# A visible top-level window whose title matches, e.g. the file dialog "Speichern unter".
e2e_find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
e2e_window_shown() { [ -n "$(e2e_find_window "$1")" ]; }
e2e_window_gone() { [ -z "$(e2e_find_window "$1")" ]; }

# e2e_type_into TITLE TEXT: gives the window the focus, replaces the selected or whole
# text of its focused field by TEXT and presses Return.
e2e_type_into() {
  local w
  w=$(e2e_find_window "$1")
  [ -n "$w" ] || return 1
  xdotool windowfocus --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 15 "$2"
  xdotool key Return
}

# e2e_key_into TITLE KEY: a key press for the window (e.g. alt+j for "&Ja").
e2e_key_into() {
  local w
  w=$(e2e_find_window "$1")
  [ -n "$w" ] || return 1
  xdotool windowfocus --sync "$w" 2>/dev/null || xdotool windowfocus "$w"
  xdotool key "$2"
}

# True when the simulator's log holds a line matching the pattern.
e2e_log_has() { grep -q -- "$2" "$1" 2>/dev/null; }

# Size of a file that does not change between two looks 0.3 s apart.
e2e_file_settled() {
  [ -s "$1" ] || return 1
  local a b
  a=$(stat -c %s "$1")
  sleep 0.3
  b=$(stat -c %s "$1")
  [ "$a" = "$b" ]
}
