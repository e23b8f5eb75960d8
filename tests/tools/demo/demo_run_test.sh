#!/usr/bin/env bash
# The demonstration run (tools/demo, "scripts/run --demo") on a private Xvfb
# with a tray host: the device's sync completes, a screen grab shows it,
# SIGTERM ends the run with exit code 0, every process it started is gone,
# its private folders are removed and the user's home stays untouched. A
# second run with --exit-after-sync ends by itself after its sync.
#
#   demo_run_test.sh DEMO XVFB TRAYER SCREENSHOT ARTIFACTS
set -euo pipefail
demo=$1 xvfb=$2 trayer=$3 screenshot=$4 artifacts=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/ravosync-demo-test-XXXXXX")
xvfb_pid="" trayer_pid="" demo_pid=""
finish() {
  for pid in $demo_pid $trayer_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/demo.out" ] && sed 's/^/demo: /' "$work/demo.out" >&2
  exit 1
}
# Bounded waits on what the processes write; the bounds are guards only.
wait_for() {
  local limit=$1
  shift
  for ((i = 0; i < limit * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

"$xvfb" -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -br 3>"$work/display" 2>"$work/xvfb.err" &
xvfb_pid=$!
wait_for 30 grep -q '[0-9]' "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
"$trayer" --edge top --align right --widthtype request --height 32 --transparent false \
  --tint 0x404040 --SetDockType true 2>"$work/trayer.err" &
trayer_pid=$!
wait_for 30 sh -c 'xwininfo -root -children 2>/dev/null | grep -q "\"panel\""' ||
  fail "trayer did not start"

# The user's home, which the run must leave alone. No bus: the tray icon is
# embedded in the tray host rather than announced to the caller's desktop.
mkdir -p "$work/user-home"
DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent \
  HOME="$work/user-home" XDG_CONFIG_HOME="$work/user-home/.config" \
  XDG_DATA_HOME="$work/user-home/.local/share" XDG_STATE_HOME="$work/user-home/.local/state" \
  "$demo" >"$work/demo.out" 2>&1 &
demo_pid=$!

wait_for 240 grep -q '^Sync completed' "$work/demo.out" || fail "no completed sync"
mkdir -p "$artifacts"
"$screenshot" "$artifacts/demo-sync-completed.png" || fail "no screen grab"

root=$(sed -n 's/.*private folders in \([^ ]*\)\. .*/\1/p' "$work/demo.out")
pids=$(sed -n 's/^Started: program pid \([0-9]*\), fake web service pid \([0-9]*\), emulator pid \([0-9]*\)$/\1 \2 \3/p' "$work/demo.out")
[ -n "$root" ] && [ -d "$root" ] || fail "no private folders named"
[ -n "$pids" ] || fail "no pids named"

kill -TERM "$demo_pid"
status=0
wait "$demo_pid" || status=$?
demo_pid=""
[ "$status" -eq 0 ] || fail "the run ended with $status"
for pid in $pids; do
  ! kill -0 "$pid" 2>/dev/null || fail "process $pid still runs"
done
[ ! -e "$root" ] || fail "$root is still there"
[ -z "$(ls -A "$work/user-home")" ] || fail "the user's home changed: $(find "$work/user-home")"
cat "$work/demo.out"

DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent \
  HOME="$work/user-home" timeout 300 "$demo" --exit-after-sync >"$work/demo.out" 2>&1 ||
  fail "the run with --exit-after-sync ended with $?"
grep -q '^Sync completed' "$work/demo.out" || fail "--exit-after-sync: no completed sync"
[ -z "$(ls -A "$work/user-home")" ] || fail "the user's home changed: $(find "$work/user-home")"
echo "PASS"
