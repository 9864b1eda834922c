#!/usr/bin/env bash
# The batch command line without a display: cards of every contact of a CSV file in one PDF,
# on the default design and on a card document's; bad input ends with a Portuguese message,
# status 1 (the work failed) or 2 (the command line cannot be followed), and no file.
#
#   tests/e2e/batch.sh path/to/lumocard
#
# Needs pdfinfo, pdftoppm, zbarimg and python3.
set -euo pipefail

app=$(realpath "${1:?usage: batch.sh path/to/lumocard}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR=$work/run TEMP=$work
mkdir -m 700 run

fail() {
    echo "batch: FAILED: $*" >&2
    exit 1
}

printf '%s\n' 'nome,sobrenome,sufixo,celular,email' \
    'Ana,Lima,"Diretora; Vendas",(11) 98765-4321,ana@exemplo.com.br' \
    'João,Araújo,Gerente,(21) 99999-0000,joao@exemplo.com.br' >contatos.csv

"$app" --batch contatos.csv --output cartoes.pdf 2>err.txt || fail "default design: $(cat err.txt)"
[[ ! -s err.txt ]] || fail "default design printed on a non-terminal: $(cat err.txt)"
pdfinfo cartoes.pdf | grep -q '^Pages: *2$' || fail "default design: not one page per contact"
pdfinfo cartoes.pdf | grep -q '^Page size: *153.071 x 243.78 pts' || fail "default design: page size"
pdftoppm -r 150 -png -f 2 -l 2 -singlefile cartoes.pdf verso
zbarimg -q --raw -Sbinary verso.png 2>/dev/null | grep -q '^FN:João Araújo' || fail "card 2 does not carry its own QR code"

# Both sides with bleed, from a card document.
python3 - <<'PY'
import json, zipfile
with zipfile.ZipFile('desenho.lumocard', 'w') as z:
    z.writestr(zipfile.ZipInfo('mimetype'), 'application/x-lumocard')
    z.writestr('card.json', json.dumps({'format': 1, 'front': True, 'back': True, 'bleed': True,
                                        'backColor': '#143c78'}), zipfile.ZIP_DEFLATED)
PY
"$app" --batch contatos.csv --design desenho.lumocard --output desenho.pdf 2>err.txt ||
    fail "card document's design: $(cat err.txt)"
pdfinfo desenho.pdf | grep -q '^Pages: *4$' || fail "card document's design: not two pages per contact"
pdfinfo desenho.pdf | grep -q '^Page size: *155.906 x 246.614 pts' || fail "card document's design: page size"

# Nine to a sheet of A4 with crop marks, the QR codes at level H: two contacts, one sheet.
"$app" --batch contatos.csv --sheet a4 --ec H --output folhas.pdf 2>err.txt || fail "sheets: $(cat err.txt)"
pdfinfo folhas.pdf | grep -q '^Pages: *1$' || fail "sheets: not one sheet for two contacts"
pdfinfo folhas.pdf | grep -q '^Page size: *595.276 x 841.89 pts' || fail "sheets: page size"
pdftoppm -r 150 -png -singlefile folhas.pdf folha
[[ $(zbarimg -q --raw -Sbinary folha.png 2>/dev/null | grep -c '^FN:') == 2 ]] || fail "sheets: not two QR codes"

expect() {
    local want=$1 got=0
    shift
    "$app" "$@" 2>err.txt || got=$?
    [[ $got == "$want" ]] || fail "$*: status $got, not $want"
    grep -q '^lumocard: ' err.txt || fail "$*: no message"
}
expect 2 --batch contatos.csv
expect 2 --batch contatos.csv --sheet a3 --output d.pdf
expect 2 --batch contatos.csv --ec X --output e.pdf
expect 2 --sheet a4
expect 1 --batch falta.csv --output a.pdf
expect 1 --batch contatos.csv --design contatos.csv --output b.pdf
expect 1 --batch contatos.csv --output pasta/c.pdf
expected="cartoes.pdf contatos.csv desenho.lumocard desenho.pdf err.txt folha.png folhas.pdf run verso.png"
[[ $(ls -A | tr '\n' ' ' | sed 's/ $//') == "$expected" ]] || fail "files left: $(ls -A | tr '\n' ' ')"
echo "batch: passed"
