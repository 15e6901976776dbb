#!/usr/bin/env bash
# The interactive program in a real pseudo-terminal (tmux), as a user meets
# it: the installation named, every caption of the main window whole at
# 80x24, 60x18 and 132x43, an analysis, the list reached with Tab and
# scrolled, the selected hive's files, a resize that reflows, a terminal
# below the minimum, a dialog, the commit's confirmation, another language.
#
#   terminal_tmux_test.sh HIVORA [SCREEN_OUT]
# SCREEN_OUT: where to write the 80x24 screen after the analysis; the other
# sizes go beside it (SCREEN_OUT without .txt, then -60x18.txt, -132x43.txt,
# -200x60.txt).
set -euo pipefail

program=$1
screen_out=${2:-}
if ! command -v tmux >/dev/null 2>&1; then
  if [ "${CI:-}" = true ]; then
    echo "FAIL: tmux is not installed (scripts/setup-debian installs it)"
    exit 1
  fi
  echo "SKIP: tmux is not installed"
  exit 77
fi

work=$(mktemp -d)
socket="hivora-test-$$"
t() { tmux -L "$socket" "$@"; }
cleanup() {
  t kill-server >/dev/null 2>&1 || true
  tmux -L "hivora-test-$$" kill-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

screen() { t capture-pane -t main -p; }
fail() {
  echo "FAIL: $1"
  screen
  exit 1
}
# Waits until the screen shows the text (a fixed string), at most 30 s.
shows() {
  for _ in $(seq 300); do
    if screen | grep -qF -- "$1"; then return 0; fi
    sleep 0.1
  done
  fail "\"$1\" is not on the screen"
}
shows_re() {
  for _ in $(seq 300); do
    if screen | grep -qE -- "$1"; then return 0; fi
    sleep 0.1
  done
  fail "nothing on the screen matches /$1/"
}
size() {
  t resize-window -t main -x "$1" -y "$2"
  sleep 0.3
}
key() { t send-keys -t main "$@"; }
# Waits until the main window is gone, at most $1 tenths of a second.
ended() {
  for _ in $(seq "$1"); do
    screen | grep -qF "Hive Name" || return 0
    sleep 0.1
  done
  fail "$2"
}

start() {
  t new-session -d -s main -x 80 -y 24 \
    "env XDG_CONFIG_HOME='$work/config' XDG_DATA_HOME='$work/data' ${look:-} '$program' $*; sleep 30"
}
colours() { t capture-pane -t main -p -e | grep -cE $'\e\\[([0-9;]*;)?(3[0-7]|4[0-7]|9[0-7])m' || true; }

# With "small", a screen too low for the list and the step hint: the hint
# gives its rows to the list, which shows every hive.
main_captions() {
  for text in "Talvix Hivora 2.3" "talvixsoftware.com" "Hive Name" "Current Size" "Reduction" \
    "[A]nalyze Registry" "[O]ptions" "[L]anguage" "[H]elp" "[E]xit" "Current Registry Size:" \
    "New Registry Size:" "Size Reduction:" "Compact Percent:"; do
    shows "$text"
  done
  if [ "${1:-}" = small ]; then
    for text in "MACHINE\SYSTEM" "MACHINE\SAM" "1001_Classes"; do shows "$text"; done
    screen | grep -qF "Step Hint:" && fail "the step hint kept rows the list needs"
    return 0
  fi
  for text in "Step Hint:" "1. Analyze the Windows registry." "2. Review the analyzing result." \
    "3. Defrag the registry and restart the pc."; do
    shows "$text"
  done
}

# The key-hint bar (the screen's last line) fits the width and ends in a
# whole hint.
hint_bar_fits() {
  local cols bar
  cols=$(t display-message -p -t main '#{window_width}')
  bar=$(screen | tail -n 1)
  [ "${#bar}" -le "$cols" ] || fail "the hint bar is wider than $cols columns: $bar"
  printf '%s\n' "$bar" | grep -qE '^(.*  )?[^ ]+: [^ ]+( [^ ]+)? *$' || fail "the hint bar ends in a cut hint: $bar"
}

# The dialog whose title holds $1: a blank cell all round its frame, and its
# row of buttons (the row holding $2) centred between the frame's sides.
dialog_tidy() {
  local top left right line before after row inner lead trail
  top=$(screen | grep -nF -- "┌─ $1" | head -n 1 | cut -d: -f1)
  [ -n "$top" ] || fail "no dialog \"$1\""
  line=$(screen | sed -n "${top}p")
  before=${line%%┌─*}
  left=${#before}
  inner=${line#*┌}
  inner=${inner%%┐*}
  right=$((left + ${#inner} + 1))
  while IFS= read -r row; do
    [ "${#row}" -gt "$left" ] || continue
    case "${row:$left:1}" in
      "│" | "├" | "└" | "┌") ;;
      *) continue ;;
    esac
    [ "$left" -eq 0 ] || [ "${row:$((left - 1)):1}" = " " ] || fail "something touches the left of \"$1\": $row"
    after=${row:$((right + 1)):1}
    [ -z "$after" ] || [ "$after" = " " ] || fail "something touches the right of \"$1\": $row"
    case "$row" in
      *"$2"*)
        inner=${row:$((left + 1)):$((right - left - 1))}
        inner=${inner//│/ }
        lead=${inner%%[! ]*}
        trail=${inner##*[! ]}
        [ $(( ${#lead} - ${#trail} )) -le 1 ] && [ $(( ${#trail} - ${#lead} )) -le 1 ] ||
          fail "the buttons of \"$1\" are not centred: $row"
        ;;
    esac
  done < <(screen | tail -n +"$top")
}

# --- The demo machine at 80x24: named, whole, analysed.
start
shows "demo machine"
main_captions
hint_bar_fits
shows "F1: all keys"
# The first focus is on "Analyze Registry": Enter analyses.
key Enter
shows_re "Compact Percent: +[0-9]+\.[0-9]%"
shows "SYSTEM → SYSTEM.hvx"
# A picture of the screen for the documentation, at the size now set.
capture() {
  [ -n "$screen_out" ] || return 0
  if [ -n "${1:-}" ]; then screen >"${screen_out%.txt}-$1.txt"; else screen >"$screen_out"; fi
}
capture

# Tab reaches the list; Down selects the next hive, whose files are named.
for _ in $(seq 20); do
  screen | grep -qF "Up/Down/PgUp/PgDn: select" && break
  key Tab
  sleep 0.1
done
shows "Up/Down/PgUp/PgDn: select"
key Down
shows "SOFTWARE → SOFTWARE.hvx"

# A wider terminal: the list takes the width, the user hives read whole.
size 132 43
shows_re '\\REGISTRY\\USER\\S-1-5-21-[0-9-]+-1001_Classes +\|'
main_captions
hint_bar_fits
capture 132x43
size 200 60
main_captions
hint_bar_fits
capture 200x60
# The smallest: still whole.
size 60 18
main_captions small
hint_bar_fits
capture 60x18
# Below it: told so.
size 40 12
shows "too small"
size 80 24
main_captions

# F1 lists every key; Enter closes the list.
key F1
shows "Shift-Tab"
shows "exit without asking"
key Enter
sleep 0.3
screen | grep -qF "Shift-Tab" && fail "Enter did not close the list of keys"

# A dialog, and the commit's confirmation, whole; the bar tells the dialog's
# keys.
key o
shows "a system restore point before defragment (XP, Vista,"
shows "how Grid Lines for the hive name list"
shows "Enter: OK"
shows "Esc: Cancel"
hint_bar_fits
dialog_tidy "Options" "[C]ancel"
key Escape
sleep 0.3
# The About box: Enter closes it (the focus is on OK, not on the link).
key h
shows "bout..."
key a
shows "All rights reserved."
key Enter
sleep 0.5
screen | grep -qF "All rights reserved." && fail "Enter did not close the About box"
screen | grep -qF "No web browser" && fail "Enter in the About box opened the link"
key d
shows "You must restart your computer for the changes to take effect"
shows "after you finish the Registry defragment."
dialog_tidy "Defrag Now" "[N]o"
key n
sleep 0.3

# Another language, at the smallest size.
key l
shows "erman"
key g
shows "nalysieren"
size 60 18
for text in "nalysieren" "efragmentieren" "ptionen" "Aktuelle Registry-Gr" \
  "Komprimierungsgrad:" "_Classes"; do
  shows "$text"
done
# The figures on screen follow the language: a decimal comma in German.
shows_re "Komprimierungsgrad: +[0-9]+,[0-9]%"
size 80 24
# With results on screen, leaving asks once: Esc (twice) keeps the window,
# q typed twice leaves.
# (in German, the hints and the question too).
shows "F1: alle Tasten"
hint_bar_fits
key Escape
shows "Talvix Hivora beenden?"
shows "[J]a"
hint_bar_fits
key Escape
sleep 0.5
screen | grep -qF "Talvix Hivora beenden?" && fail "Esc did not answer No to the exit question"
shows "[A]nalysieren"
key q
shows "Talvix Hivora beenden?"
key q
ended 50 "q typed twice did not end the program"

# --- An installation given by its folder is named by it.
t kill-server
socket="$socket-root"  # a server of its own: the old one may still be going
rm -rf "$work/config"     # in English again
start "--root '$work/data/talvix-hivora/demo-machine'"
size 132 43
shows "C: = $work/data/talvix-hivora/demo-machine"
# The commit at the smallest size: its messages wrap inside their boxes.
size 60 18
key a
shows_re "Compact Percent: +[0-9]+\.[0-9]%"
key d
shows "You must restart your computer for the changes to take"
key y
# Nothing restarts here: the replacements are applied to the installation.
shows "Apply the replacements to the installation at"
key Enter
ended 100 "the restart did not end the program"

# --- Esc on the progress dialog is Stop: the analysis ends unfinished, and
# a new one can start at once (a large generated hive keeps it busy).
if [ -n "${HIVORA_GEN_HIVE:-}" ] && [ -x "$HIVORA_GEN_HIVE" ]; then
  t kill-server
  socket="$socket-stop"
  cp -a "$work/data/talvix-hivora/demo-machine" "$work/large"
  rm -f "$work/large/Windows/System32/config/SYSTEM"
  "$HIVORA_GEN_HIVE" "$work/large/Windows/System32/config/SYSTEM" 192 >/dev/null
  rm -rf "$work/config"
  start "--root '$work/large'"
  shows "[A]nalyze Registry"
  key a
  shows "Esc: Stop"
  key Escape
  shows "[A]nalyze Registry"
  screen | grep -qE "Compact Percent: +[0-9]" && fail "a stopped analysis showed results"
  key a
  shows "Esc: Stop"
  screen | grep -qF "Can not analyze" && fail "the stopped analysis still held its copies"
  key Escape
  shows "[A]nalyze Registry"
  # Nothing on screen to lose: q leaves at once.
  key q
  ended 100 "q did not end the program"
else
  echo "terminal_tmux_test: no hive generator, Esc on the progress dialog not tried"
fi

# --- The look: colour on a colour terminal, none under NO_COLOR; ASCII frames
# and no dim text on a dumb terminal.
for case in colour no_colour dumb; do
  t kill-server
  socket="$socket-$case"
  case $case in
    colour) look="TERM=xterm-256color LC_ALL=C.UTF-8" ;;
    no_colour) look="TERM=xterm-256color LC_ALL=C.UTF-8 NO_COLOR=1" ;;
    dumb) look="TERM=dumb" ;;
  esac
  start
  shows "[A]nalyze Registry"
  key o
  shows "Options"
  sleep 0.3
  case $case in
    colour) [ "$(colours)" -gt 0 ] || fail "no colour on a colour terminal" ;;
    no_colour) [ "$(colours)" -eq 0 ] || fail "colour in spite of NO_COLOR" ;;
    dumb)
      shows "+- Options -"
      screen | grep -qE "[─│┌┐└┘├┤…]" && fail "box-drawing characters on a dumb terminal"
      t capture-pane -t main -p -e | grep -qE $'\e\\[([0-9;]*;)?2m' && fail "dim text on a dumb terminal"
      ;;
  esac
  key Escape
  key q
  ended 50 "q did not end the program"
done
look=

# --- An installation without SOFTWARE: said at the start.
t kill-server
socket="$socket-nosoftware"
cp -a "$work/data/talvix-hivora/demo-machine" "$work/nosoftware"
rm -f "$work/nosoftware/Windows/System32/config/SOFTWARE"
rm -rf "$work/config"
start "--root '$work/nosoftware'"
shows "The installation has no SOFTWARE hive"
key Enter
shows "[A]nalyze Registry"
echo "terminal_tmux_test: passed"
