#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated logger with the sample flight
# on a pseudo-terminal, and starts Morvala with a settings folder of its own whose
# "logger3.ini" points the port at the simulator. Your own settings are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
demo=$PWD/build/demo
mkdir -p "$demo/config/morvala"
rm -f "$demo/logger-tty"
build/loggersim --link "$demo/logger-tty" --sample --announce-every 3 --lifetime 7200 \
  --log "$demo/received.log" >"$demo/loggersim.out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$demo/logger-tty" ] && break; sleep 0.1; done
printf '[ComPort1]\r\nPort=%s\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\nParity=None\r\nFlowControl=None\r\n' \
  "$demo/logger-tty" >"$demo/config/morvala/logger3.ini"
echo "Simulated logger on $(cat "$demo/loggersim.out" | head -1) (link $demo/logger-tty)"
echo "Sample firmware for the \"Firmwareupdate\" tab: $PWD/data/sample_firmware.hex"
export XDG_CONFIG_HOME="$demo/config"
# The demo keeps its flights in a logbook of its own, never in the user's.
export XDG_DATA_HOME="$demo/data"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running under Xvfb (nothing will be visible)."
  xvfb-run -a build/morvala
else
  build/morvala
fi
