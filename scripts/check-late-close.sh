#!/usr/bin/env bash
# A close request given during the removal run, which a held-back window
# manager passes on only after the run, must not close the result page; one
# given after the page appeared must. Under a virtual display (1366 x 768) with
# openbox, the wizard program with a stand-in job of 2.3 s (nothing is
# removed) is taken to its run; 1.1 s into it openbox is stopped (SIGSTOP),
# the user's Alt+F4 or click on the title bar's close button is sent, and
# openbox is let go 0.5 s after the result page appeared. The wizard must
# still show it 1.5 s later; then Alt+F4 must close it with status 0.
#
#   scripts/check-late-close.sh [runs [seconds]]   (default 10 runs, which
#                                         alternate the key and the click; a
#                                         run of 2.3 s), in ./build
#   TW_BUILD_DIR=dir scripts/check-late-close.sh
#   TW_PROGRAM=wizard_driver scripts/check-late-close.sh   no build: the
#                                         driver given (the test suite's way)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${TW_ON_SMALL_DESKTOP:-}" ]; then
  exec scripts/on-small-desktop.sh wizard_driver scripts/check-late-close.sh "$@"
fi
runs=${1:-10}
seconds=${2:-2.3}
driver=$TW_PROGRAM
wm=$TW_WM_PID
scratch=$XDG_RUNTIME_DIR

# Waits up to $2 seconds for a line matching $1 in the file $3.
wait_for_line() {
  local pattern=$1 seconds=$2 file=$3 i
  for ((i = 0; i < seconds * 20; i++)); do
    grep -q -- "$pattern" "$file" && return 0
    sleep 0.05
  done
  return 1
}

# Clicks the close button of the title bar: openbox draws it at the right end
# of the frame's top, inside the title bar's height.
click_close_button() {
  local window=$1 info x y width
  info=$(xwininfo -id "$window")
  x=$(sed -n 's/.*Absolute upper-left X: *//p' <<< "$info")
  y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<< "$info")
  width=$(sed -n 's/.*Width: *//p' <<< "$info")
  xdotool mousemove $((x + width - 10)) $((y - 10)) click 1
}

# The wizard asks whether Tallowmere runs: tests running beside this one
# make up a running copy while they hold this lock (tests/support/FakeProduct).
exec 9<> "${TMPDIR:-/tmp}/tallowmere-fake-product.lock"

passed=0
for ((run = 1; run <= runs; run++)); do
  out="$scratch/run$run.out"
  : > "$out"
  how=key
  [ $((run % 2)) -eq 0 ] && how=click
  flock 9
  QT_QPA_PLATFORM=xcb "$driver" 2 job-seconds="$seconds" timeout=60 next next next > "$out" 2>&1 &
  pid=$!
  verdict=ok
  if ! wait_for_line "^job mask" 30 "$out"; then
    verdict="the run did not start"
  else
    window=$(xdotool search --sync --name "Tallowmere 5.4.1 Uninstall Wizard" | head -n 1)
    sleep 1.1
    kill -STOP "$wm"
    if [ "$how" = key ]; then
      xdotool key --clearmodifiers alt+F4
    else
      click_close_button "$window"
    fi
    if ! wait_for_line "^page 6" 30 "$out"; then
      verdict="no result page"
    fi
    sleep 0.5
    kill -CONT "$wm"
    sleep 1.5
    if [ "$verdict" = ok ]; then
      if ! kill -0 "$pid" 2>/dev/null || grep -q "event loop returned" "$out"; then
        verdict="the result page was closed by the close request given during the run"
      elif [ "$(grep "^page" "$out" | tail -n 1)" != "page 6" ]; then
        verdict="not on the result page"
      else
        xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
        if ! wait_for_line "^event loop returned 0" 10 "$out"; then
          verdict="a close request given after the result page appeared did not close it"
        fi
      fi
    fi
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  flock -u 9
  echo "run $run ($how): $verdict"
  [ "$verdict" = ok ] || sed 's/^/  wizard: /' "$out"
  [ "$verdict" = ok ] && passed=$((passed + 1))
done
echo "$passed of $runs runs kept the result page until a close request given after it appeared"
[ "$passed" -eq "$runs" ]
