#!/usr/bin/env bash
# The batch command line without a display: cards of every contact of a CSV file in one PDF,
# on the default design and on a card document's; bad input ends with a Portuguese message,
# status 1 (the work failed) or 2 (the command line cannot be followed), and no file; a
# signal ends a batch with status 1 and nothing left in the folder.
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
# On a non-terminal only the import's summary, no progress.
[[ $(cat err.txt) == 'lumocard: 2 contatos importados' ]] || fail "default design printed: $(cat err.txt)"
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

# The import summary, with the first ignored lines and why; a contact whose vCard does not fit
# the level is left out and listed, and the others get their cards.
long=$(printf 'x%.0s' {1..1500})
printf '%s\n' 'nome,sobrenome,sufixo,rua' 'Ana,Lima,Gerente,Rua A' 'a,b,c,d,e,f' "Bia,Souza,Diretora,$long" >resumo.csv
"$app" --batch resumo.csv --ec H --output resumo.pdf 2>err.txt || fail "summary: $(cat err.txt)"
grep -qx 'lumocard: 2 contatos importados, 1 linha ignorada' err.txt || fail "summary: $(cat err.txt)"
grep -qx 'lumocard: linha 3: tem 6 colunas e o cabeçalho só 4' err.txt || fail "ignored line: $(cat err.txt)"
grep -q '^lumocard:   contato 2, Bia Souza: o vCard não cabe no código QR (nível H: [0-9]* bytes, máximo 1273)$' \
    err.txt || fail "card left out: $(cat err.txt)"
pdfinfo resumo.pdf | grep -q '^Pages: *1$' || fail "card left out: not one page for the card that fits"
# The same in the print shop's file, and with one PDF per contact.
"$app" --batch resumo.csv --ec H --output resumo.pdf --pdfx 2>err.txt || fail "print shop summary: $(cat err.txt)"
grep -q '^lumocard:   contato 2, Bia Souza: o vCard não cabe' err.txt || fail "print shop left out: $(cat err.txt)"
pdfinfo resumo.pdf | grep -q '^Pages: *1$' || fail "print shop left out: not one page for the card that fits"
mkdir cada
echo meu >'cada/ana lima.pdf'
"$app" --batch resumo.csv --ec H --each cada 2>err.txt || fail "--each: $(cat err.txt)"
grep -q '^lumocard:   contato 2, Bia Souza: o vCard não cabe' err.txt || fail "--each left out: $(cat err.txt)"
# A file already in the folder is not replaced.
[[ $(cat 'cada/ana lima.pdf') == meu && $(LC_ALL=C ls cada | tr '\n' /) == 'Ana Lima (2).pdf/ana lima.pdf/' ]] ||
    fail "--each wrote: $(ls cada)"
rm -r resumo.csv resumo.pdf cada

# A spreadsheet whose columns are not known: the columns named and the option that maps them;
# --columns maps them, --dry-run shows the contacts and writes nothing.
printf 'Cliente;Contato;Cidade\nAna Lima;(11) 98765-4321;S\xe3o Paulo\n' >planilha.csv
st=0
"$app" --batch planilha.csv --output p.pdf 2>err.txt || st=$?
[[ $st == 1 ]] || fail "unknown columns: status $st"
grep -q -- '--columns' err.txt || fail "unknown columns: no --columns shown: $(cat err.txt)"
[[ ! -e p.pdf ]] || fail "unknown columns: a PDF was written"
"$app" --batch planilha.csv --columns 'Cliente=nome,Contato=celular,Cidade=ignorar' --dry-run >dry.txt 2>err.txt ||
    fail "--dry-run: $(cat err.txt)"
grep -q 'Ana' dry.txt && grep -q '98765-4321' dry.txt || fail "--dry-run table: $(cat dry.txt)"
grep -qx 'Codificação: Windows-1252' dry.txt || fail "--dry-run encoding: $(cat dry.txt)"
[[ ! -e p.pdf ]] || fail "--dry-run wrote a file"
"$app" --batch planilha.csv --columns 'Cliente=nome,Contato=celular' --output p.pdf 2>err.txt || fail "--columns: $(cat err.txt)"
pdftoppm -r 150 -png -singlefile p.pdf planilha
zbarimg -q --raw -Sbinary planilha.png 2>/dev/null | grep -q '^TEL;TYPE=CELL:(11) 98765-4321' ||
    fail "--columns: the phone is not in the QR code"
rm planilha.csv dry.txt p.pdf planilha.png

# Misuse: a message in Portuguese, status 1 (the work failed) or 2 (the command line cannot be
# followed), and no file written or changed.
ln -s contatos.csv link.pdf
ln desenho.lumocard desenho-duro.pdf
sums=$(md5sum contatos.csv desenho.lumocard)
expect() {
    local want=$1 text=$2 got=0
    shift 2
    "$app" "$@" 2>err.txt || got=$?
    [[ $got == "$want" ]] || fail "$*: status $got, not $want"
    grep -q "^lumocard: $text" err.txt || fail "$*: message $(cat err.txt)"
    ! grep -qi 'denied\|such file\|unable\|illegal\|unknown\|missing\|nested' err.txt || fail "$*: English $(cat err.txt)"
}
expect 2 'Falta --output' --batch contatos.csv
expect 2 'A opção --output precisa de um valor' --batch contatos.csv --output
expect 2 'Opção desconhecida: --saida' --batch contatos.csv --saida x.pdf
expect 2 'Papel desconhecido' --batch contatos.csv --sheet a3 --output d.pdf
expect 2 'Nível de correção desconhecido' --batch contatos.csv --ec X --output e.pdf
expect 2 'As opções' --sheet a4
expect 2 'Só um cartão' a.lumocard b.lumocard
expect 2 '--output é o próprio arquivo de contatos' --batch contatos.csv --output contatos.csv
expect 2 '--output é o próprio arquivo de contatos' --batch contatos.csv --output link.pdf
expect 2 '--output é o próprio cartão de --design' --batch contatos.csv --design desenho.lumocard \
    --output desenho-duro.pdf
expect 1 'Não foi possível importar contatos de "falta.csv": o arquivo não existe' --batch falta.csv --output a.pdf
expect 1 '' --batch contatos.csv --design contatos.csv --output b.pdf
expect 1 'Não foi possível gerar o PDF "pasta/c.pdf"' --batch contatos.csv --output pasta/c.pdf
expect 1 'Não foi possível gerar o PDF "/proc/c.pdf": o arquivo ou a pasta não existe' \
    --batch contatos.csv --output /proc/c.pdf
expect 2 'Opção --columns inválida' --batch contatos.csv --columns 'Nome=caixa-que-não-há' --output m.pdf
expect 2 '--each grava um PDF por contato' --batch contatos.csv --each . --output n.pdf
expect 2 'As opções --design, --output, --sheet, --ec, --columns, --dry-run e --each valem só com --batch' --dry-run
expect 2 'Falta o cartão (.lumocard) a exportar com --pdfx' --pdfx --output g.pdf
expect 2 '--output é o próprio cartão' --pdfx desenho.lumocard --output desenho-duro.pdf
expect 2 'Sangria desconhecida em --bleed: "4"' --batch contatos.csv --output h.pdf --pdfx --bleed 4
expect 2 'Condição de impressão desconhecida' --pdfx desenho.lumocard --output i.pdf --condition swop
expect 2 'As opções --bleed, --marks e --condition valem só com --pdfx' --batch contatos.csv --output j.pdf --marks
expect 2 'Com --pdfx cada cartão vai numa página' --batch contatos.csv --output k.pdf --pdfx --sheet a4
expect 2 'Tempo inválido em --timeout' --nfc desenho.lumocard --timeout 0
expect 2 'Tempo inválido em --timeout' --nfc desenho.lumocard --timeout 3000000
expect 2 'A opção --nfc não vai junto' --nfc desenho.lumocard --output l.pdf
expect 2 'As opções --reader e --timeout valem só com --nfc' --reader x
printf '{"format": 1, "front": tru}' >card.json
python3 -c "
import zipfile
with zipfile.ZipFile('ruim.lumocard', 'w') as z:
    z.writestr('mimetype', 'application/x-lumocard')
    z.write('card.json')"
expect 1 'Não foi possível abrir' --batch contatos.csv --design ruim.lumocard --output f.pdf
[[ $(md5sum contatos.csv desenho.lumocard) == "$sums" ]] || fail "misuse changed an input file"
# The print shop's file, of one card and of the batch.
"$app" --pdfx desenho.lumocard --output grafica.pdf --bleed 2 --condition fogra29 2>err.txt ||
    fail "--pdfx: $(cat err.txt)"
pdfinfo -box grafica.pdf | grep -q '^PDF subtype: *PDF/X-1:2001' || fail "--pdfx: not PDF/X"
pdfinfo -box grafica.pdf | grep -q '^TrimBox: *5.67 *5.67 ' || fail "--pdfx: TrimBox not inset by 2 mm"
"$app" --batch contatos.csv --design desenho.lumocard --output grafica.pdf --pdfx --marks 2>err.txt ||
    fail "--batch --pdfx: $(cat err.txt)"
pdfinfo grafica.pdf | grep -q '^PDF version: *1.3' || fail "--batch --pdfx: not PDF 1.3"
# In the users' own locale, whose decimal mark is a comma, the file's numbers and colours are
# read as they are: the back keeps its blue.
if locale -a 2>/dev/null | grep -qix 'pt_BR.utf-\?8'; then
    LC_ALL=pt_BR.UTF-8 "$app" --pdfx desenho.lumocard --output grafica.pdf 2>err.txt ||
        fail "--pdfx in pt_BR: $(cat err.txt)"
    pdftoppm -r 20 -png -f 2 -l 2 -singlefile grafica.pdf verso-br
    /usr/bin/python3 -c "
from PIL import Image
r, g, b = Image.open('verso-br.png').convert('RGB').getpixel((15, 20))
assert b > 80 and b > r + 40, (r, g, b)" || fail "--pdfx in pt_BR: the back is not blue"
    rm verso-br.png
fi
rm grafica.pdf
# Qt's own options are left to Qt.
"$app" -platform offscreen -reverse --version >err.txt || fail "Qt's options refused: $(cat err.txt)"
grep -q '^Lumo Card ' err.txt || fail "Qt's options: $(cat err.txt)"
rm link.pdf desenho-duro.pdf card.json ruim.lumocard

# SIGINT (Ctrl+C) and SIGTERM during a long batch end it with status 1 and no file; SIGKILL
# leaves nothing in the folder either, not even a hidden partial file.
before=$(ls -A)
python3 -c "
with open('muitos.csv', 'w') as f:
    f.write('nome,sobrenome,celular\n')
    for i in range(20000):
        f.write(f'Pessoa,{i},(11) 9{i % 10000:04d}-0000\n')"
for signal in INT TERM KILL; do
    "$app" --batch muitos.csv --output muitos.pdf 2>err.txt &
    pid=$!
    # Once the contacts are counted the batch draws the cards.
    for _ in $(seq 600); do
        ! grep -q 'contatos importados' err.txt || break
        sleep 0.05
    done
    kill -s $signal $pid
    got=0
    wait $pid || got=$?
    if [[ $signal == KILL ]]; then
        [[ $got == 137 ]] || fail "SIGKILL: status $got"
    else
        [[ $got == 1 ]] || fail "SIG$signal: status $got, not 1: $(cat err.txt)"
        grep -q '^lumocard: interrompido; nenhum PDF foi gravado.$' err.txt || fail "SIG$signal: $(cat err.txt)"
    fi
    [[ $(ls -A | grep -v '^muitos.csv$') == "$before" ]] || fail "SIG$signal left: $(ls -A | tr '\n' ' ')"
done
rm muitos.csv

expected="cartoes.pdf contatos.csv desenho.lumocard desenho.pdf err.txt folha.png folhas.pdf run verso.png"
[[ $(ls -A | tr '\n' ' ' | sed 's/ $//') == "$expected" ]] || fail "files left: $(ls -A | tr '\n' ' ')"
echo "batch: passed"
