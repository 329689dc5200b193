#!/usr/bin/env bash
# The message dialog under a real X server (Xvfb, no window manager): it opens,
# takes the keyboard, and gives the answers of Return on its yes button, of
# Esc, and of the choice buttons. Skipped (77) when Xvfb or xdotool is missing.
# Usage: xvfb_dialog_test.sh PATH/TO/zepconv-screenshots
set -uo pipefail
bin=$1
for tool in xvfb-run xauth xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

if [ -z "${ZEP_IN_XVFB:-}" ]; then
  ZEP_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM
export QT_QPA_PLATFORM=xcb

status=0
# check LOOK TITLE KEYS EXPECTED: opens LOOK, waits for its window, types KEYS
# and compares the line the program prints.
check() {
  local look=$1 title=$2 keys=$3 expected=$4 out
  out=$(mktemp)
  "$bin" --show "$look" >"$out" 2>/dev/null &
  local pid=$!
  if ! timeout 20 xdotool search --sync --onlyvisible --name "$title" >/dev/null; then
    echo "FAIL $look: no window titled '$title'"
    kill "$pid" 2>/dev/null
    status=1
    return
  fi
  sleep 0.3
  # shellcheck disable=SC2086
  xdotool key $keys
  if ! timeout 10 tail --pid="$pid" -f /dev/null; then
    echo "FAIL $look: still open after '$keys'"
    kill "$pid" 2>/dev/null
    status=1
    return
  fi
  wait "$pid"
  if [ "$(cat "$out")" = "$expected" ]; then
    echo "ok   $look after '$keys': $expected"
  else
    echo "FAIL $look after '$keys': got '$(cat "$out")', expected '$expected'"
    status=1
  fi
  rm -f "$out"
}

check question "З а п и т" Return "result 1 answer 3 ask 0"
check question "З а п и т" Escape "result 0 answer 3 ask 0"
check error "П о м и л к а" Escape "result 0 answer 3 ask 0"
check choice "З а п и т" "Tab space" "result 0 answer 2 ask 0"
check choice "З а п и т" Escape "result 0 answer 3 ask 0"
check question-ask "З а п и т" "Tab Tab space Tab Return" "result 1 answer 3 ask 1"
exit $status
