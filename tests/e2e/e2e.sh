#!/usr/bin/env bash
# Whole-program check of Lumo Card: starts the built program under Xvfb, fills in a contact
# through the keyboard (Enter moves from box to box, Enter in "CEP" generates), ticks "Verso",
# exports the card as PDF and as JPEGs through the real save dialogs, and checks the files:
# page count and size, picture sizes, and that the QR code on the card, read from the JPEG and
# from the rasterised PDF, decodes to the vCard of the contact.
#
#   tests/e2e/e2e.sh path/to/lumocard
#
# Each value goes into its box through the clipboard (Ctrl+V) and is read back (Ctrl+A,
# Ctrl+C) before Enter moves on: typing a letter that the keyboard map lacks (ç, ã) makes
# xdotool remap a key for a moment, and a busy program can read that key after the map has
# changed back and lose the letter. The boxes and "Verso" are reached by the Enter chain and
# the tab order; only the export buttons, which take no focus, are clicked, at their designed
# place in the designed area (which lies below whatever the window shows above it).
#
# Needs xvfb-run, xdotool, xclip, zbarimg, pdfinfo, pdftoppm and ImageMagick's identify and
# import.
# On a failure a screenshot of the screen is left as e2e-failure.png in the current folder;
# LUMO_E2E_SCREENSHOT=file.png keeps one taken after the exports.
set -euo pipefail

app=$(realpath "${1:?usage: e2e.sh path/to/lumocard}")

# An X server of our own. Without -noreset it resets whenever its last client leaves, as after
# kill -9, and a program starting during the reset cannot connect.
if [[ -z ${LUMO_E2E_INSIDE:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" env LUMO_E2E_INSIDE=1 "$0" "$app"
fi

started=$SECONDS
here=$PWD
work=$(mktemp -d)
pid=
cleanup() {
    if [[ -n $pid ]]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Qt's own widgets and dialogs on plain X11, with no desktop theme and nothing of the user's.
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION
export HOME=$work TEMP=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run"

fail() {
    echo "e2e: FAILED: $*" >&2
    local log
    for log in "$work"/program*.log; do
        [[ -s $log ]] && { echo "e2e: $(basename "$log"):" >&2; cat "$log" >&2; }
    done
    import -window root "$here/e2e-failure.png" 2>/dev/null && echo "e2e: screenshot in $here/e2e-failure.png" >&2
    exit 1
}
step() { echo "e2e: [$((SECONDS - started)) s] $*"; }

# Polls a command every 0.2 s until it succeeds or the given seconds have passed.
wait_until() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        kill -0 "$pid" 2>/dev/null || fail "the program ended"
        sleep 0.2
    done
}

# The program's visible top-level windows.
windows() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true; }

# The main window: the only one of the program at least 1000 pixels wide (the splash is 640).
# The designed area (1082 × 589) fills its bottom; what is above it (a menu bar) shifts it down.
main_window() {
    local id
    for id in $(windows); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if ((WIDTH >= 1000)); then
            main=$id
            main_x=$X main_y=$Y main_w=$WIDTH
            design_top=$((HEIGHT - 589))
            return 0
        fi
    done
    return 1
}

# Another visible window of the program the size of a dialog (not a tooltip or a menu); a
# question box is lower.
dialog_window() {
    local id min_height=${1:-150}
    for id in $(windows); do
        [[ $id != "$main" ]] || continue
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if ((WIDTH >= 200 && HEIGHT >= min_height)); then
            dialog=$id
            return 0
        fi
    done
    return 1
}
no_dialog() { ! dialog_window; }

# Clicks the control whose design rectangle starts at (x, y) in the 1082-pixel-wide design,
# anchored to the window's right edge, at (dx, dy) inside it.
click_right_anchored() {
    main_window || fail "main window lost"
    ((design_top >= 0 && design_top <= 80)) || fail "the window is $((design_top + 589)) pixels high: where is the designed area?"
    local x=$((main_x + main_w - 1082 + $1 + $3)) y=$((main_y + design_top + $2 + $4))
    xdotool mousemove --sync "$x" "$y" click 1
}

# What the focused text box shows, read through the clipboard.
box_text() {
    xdotool key --clearmodifiers ctrl+a ctrl+c
    xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null
}
box_shows() { [[ $(box_text) == "$1" ]]; }

# Replaces the focused box's text by `value` through the clipboard, and waits until the box
# shows exactly that. The paste is repeated (it replaces the whole text) if a window that was
# just shown had not taken the keyboard yet.
fill() {
    local value=$1 try
    for try in 1 2 3; do
        # xclip owns the clipboard from the moment it returns until the program takes it over.
        printf '%s' "$value" | xclip -i -selection clipboard -t UTF8_STRING
        xdotool key --clearmodifiers ctrl+a ctrl+v
        wait_until 5 box_shows "$value" && return 0
        step "the box shows \"$(box_text)\", pasting \"$value\" again"
    done
    fail "the box shows \"$(box_text)\" instead of \"$value\""
}

files_exist() {
    local f
    for f in "$@"; do [[ -s $f ]] || return 1; done
}

# Presses a speed button, answers its save dialog with `path`, and waits for the files.
save_through_dialog() {
    local x=$1 y=$2 path=$3
    shift 3
    local try
    for try in 1 2; do
        click_right_anchored "$x" "$y" 19 19
        wait_until 10 dialog_window && break
        ((try == 1)) || fail "no save dialog for $path"
        step "no dialog yet, pressing again"
    done
    xdotool windowfocus --sync "$dialog" 2>/dev/null || true
    # The file-name box has the focus; replace the proposed name with the full path.
    fill "$path"
    xdotool key Return
    wait_until 20 no_dialog || fail "the save dialog for $path stayed open"
    wait_until 20 files_exist "$@" || fail "not written: $*"
}

# The contact, box by box in the order of the Enter chain.
boxes=(
    "Ana" "Conceição" "Designer; Ilustradora"            # nome, sobrenome, sufixo
    "(11) 3333-4444" "(11) 98765-4321"                   # fixo, celular
    "www.exemplo.com.br" "ana@exemplo.com.br"            # site, e-mail
    "Rua das Acácias" "120" "Centro" "São Paulo" "SP" "01000-000"
)
expected=$(printf '%s\r\n' \
    "BEGIN:VCARD" "VERSION:3.0" \
    "FN:Ana Conceição" \
    "N:Conceição;Ana;;;Designer\\; Ilustradora" \
    "TEL;TYPE=HOME,VOICE:(11) 3333-4444" \
    "TEL;TYPE=CELL:(11) 98765-4321" \
    "URL:www.exemplo.com.br" \
    "EMAIL;type=HOME,INTERNET:ana@exemplo.com.br" \
    "LABEL;TYPE=HOME:Endereço" \
    "ADR;TYPE=HOME:;;Rua das Acácias, 120 - Centro;São Paulo;SP;01000-000;Brasil" \
    "END:VCARD")
expected=${expected%$'\r'} # no line break after END:VCARD

step "starting $app"
"$app" >"$work/program.log" 2>&1 &
pid=$!
main=
wait_until 40 main_window || fail "the main window did not appear"
sleep 0.5
main_window
step "main window $main at $main_x,$main_y, $main_w wide"

# The focus starts in "Nome".
xdotool windowfocus --sync "$main" 2>/dev/null || true
for i in "${!boxes[@]}"; do
    if ((i == 7)); then
        # In "Rua": "Verso" comes just before it in the tab order.
        xdotool key --clearmodifiers shift+Tab space Tab
    fi
    fill "${boxes[$i]}"
    xdotool key Return
done
step "contact entered, Verso ticked, Enter in CEP"

save_through_dialog 991 491 "$work/cartao.pdf" "$work/cartao.pdf"
step "PDF written"
save_through_dialog 947 489 "$work/cartao.jpg" "$work/cartao.1.jpg" "$work/cartao.2.jpg"
step "JPEGs written"
if [[ -n ${LUMO_E2E_SCREENSHOT:-} ]]; then
    import -window root "$LUMO_E2E_SCREENSHOT" 2>/dev/null
fi

# The PDF: two pages of 54 × 86 mm (153.071 × 243.780 points).
pages=$(pdfinfo "$work/cartao.pdf" | awk '/^Pages:/ {print $2}')
[[ $pages == 2 ]] || fail "the PDF has $pages pages, not 2"
pdfinfo -f 1 -l 2 "$work/cartao.pdf" | awk '/^Page +[0-9]+ size:/ {print $4, $6}' | while read -r w h; do
    awk -v w="$w" -v h="$h" 'BEGIN { exit !((w - 153.071)^2 < 1e-4 && (h - 243.780)^2 < 1e-4) }' ||
        fail "PDF page of $w × $h points, not 153.071 × 243.780"
done

# The JPEGs: 638 × 1016 pixels each (54 × 86 mm at 300 dpi).
for side in 1 2; do
    size=$(identify -format '%w x %h' "$work/cartao.$side.jpg" 2>/dev/null)
    [[ $size == "638 x 1016" ]] || fail "cartao.$side.jpg is $size pixels, not 638 x 1016"
done

# The QR code on the front, from the JPEG and from the PDF rasterised at 300 dpi.
decoded=$(zbarimg --raw -q -Sbinary "$work/cartao.1.jpg" 2>/dev/null) || fail "no QR code found on cartao.1.jpg"
[[ $decoded == "$expected" ]] || fail "the JPEG's QR code holds
$decoded
instead of
$expected"
pdftoppm -r 300 -f 1 -l 1 -singlefile -png "$work/cartao.pdf" "$work/page"
decoded=$(zbarimg --raw -q -Sbinary "$work/page.png" 2>/dev/null) || fail "no QR code found on the PDF's first page"
[[ $decoded == "$expected" ]] || fail "the PDF's QR code holds
$decoded
instead of
$expected"

step "passed: 2 PDF pages of 54 × 86 mm, 2 JPEGs of 638 × 1016, QR codes decode to the entered vCard"

# Crash recovery: the card typed above is in this window's recovery copy within two seconds
# of the last change; a killed program leaves it, and the next start offers it back.
recovery="$work/data/Lumo Card/recuperacao"
wait_until 10 eval 'compgen -G "$recovery/*/card.json" >/dev/null' || fail "no recovery copy under $recovery"
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
step "killed; starting again"
"$app" >"$work/program2.log" 2>&1 &
pid=$!
main=
wait_until 40 main_window || fail "the main window did not appear after the crash"
wait_until 20 dialog_window 60 || fail "no offer to restore the card"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool key Return # "Restaurar", the default button
wait_until 10 eval '! dialog_window 60' || fail "the restore question stayed open"
xdotool windowfocus --sync "$main" 2>/dev/null || true
wait_until 10 box_shows "Ana" || fail "the restored card's first box shows \"$(box_text)\", not \"Ana\""
step "passed: the card typed before kill -9 came back"
