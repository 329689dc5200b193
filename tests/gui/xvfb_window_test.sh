#!/usr/bin/env bash
# The real zepconv-gui under a real X server (Xvfb, no window manager), driven
# by xdotool as a user drives it: started with --from and --to over a sample
# tree, the mass button pressed, the selection dialog confirmed and the
# closing message acknowledged; then every convertible file of the tree must
# be on disk under the target folder, converted. Skipped (77) when Xvfb or
# xdotool is missing.
# Usage: xvfb_window_test.sh PATH/TO/zepconv-gui PATH/TO/zepconv
set -uo pipefail
gui=$1
zep=$2
for tool in xvfb-run xauth xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

if [ -z "${ZEP_IN_XVFB:-}" ]; then
  ZEP_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb

tmp=${ZEP_TEST_TMP:-${TMPDIR:-/tmp}}
mkdir -p "$tmp"
work=$(mktemp -d "$tmp/xvfb-window.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# waitfor TITLE: the id of the visible window whose title matches TITLE.
waitfor() {
  timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}

"$zep" sample --no-damaged "$work/src" >"$work/list" || fail "zepconv sample"
sed -n 's|^convertible: '"$work"'/src/||p' "$work/list" | sort >"$work/want"
[ -s "$work/want" ] || fail "the sample tree lists no convertible file"

"$gui" --from "$work/src" --to "$work/out" 2>"$work/stderr" &
pid=$!
win=$(waitfor "Преобразование информационных моделей ЗЕП-5") || true
[ -n "$win" ] || fail "the main window did not open"
sleep 0.3

# Without a window manager nobody gives the window the keyboard; then the
# mass button has the focus, since both folders are filled.
xdotool windowfocus --sync "$win"
xdotool key space
sel=$(waitfor "Уточнение перечня преобразуемых файлов") || true
[ -n "$sel" ] || fail "the selection dialog did not open"
sleep 0.3
xdotool windowfocus --sync "$sel"
xdotool key Return # "Да, выбор окончен, начать!" is the default button
done_box=$(waitfor "^zepconv$") || true
[ -n "$done_box" ] || fail "no closing message"
sleep 0.3
xdotool windowfocus --sync "$done_box"
xdotool key Return
timeout 10 bash -c "while xdotool search --onlyvisible --name '^zepconv\$' >/dev/null 2>&1; do sleep 0.1; done" ||
  fail "the closing message stayed open"
kill -0 "$pid" 2>/dev/null || fail "zepconv-gui ended on its own: $(cat "$work/stderr")"

(cd "$work/out" && find . -type f | sed 's|^\./||' | sort) >"$work/got"
diff -u "$work/want" "$work/got" || fail "the target tree differs from the convertible files"
while IFS= read -r f; do
  "$zep" info "$work/out/$f" | grep -q '^edition: "5-2.10.3"$' || fail "$f is not converted"
  "$zep" verify "$work/out/$f" >/dev/null || fail "$f does not verify"
done <"$work/want"
echo "ok   $(wc -l <"$work/want") files converted through the window"
