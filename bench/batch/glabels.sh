#!/usr/bin/env bash
# The same batch in gLabels 3, for comparison: 1000 business cards (Avery 7414, ten on an A4
# sheet) each with the contact's name, suffix and a QR code of the contact's vCard, merged
# from a CSV of the very contacts bench_batch draws, beside bench_batch's own 1000 cards
# (front only: gLabels draws one side). Prints "glabels_seconds=G lumo_seconds=L".
#
#   bench/batch/glabels.sh path/to/bench_batch [COUNT]
#
# Needs glabels-3-batch, which the project does not install (apt-get install glabels).
set -euo pipefail

bench=$(realpath "${1:?usage: glabels.sh path/to/bench_batch [COUNT]}")
count=${2:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

"$bench" --write-csv "$count" "$work/contatos.csv"
# gLabels takes an object's placement from its matrix a0..a5; without one an object vanishes.
matrix='a0="1" a1="0" a2="0" a3="1" a4="0" a5="0"'
cat >"$work/cartoes.glabels" <<XML
<?xml version="1.0"?>
<Glabels-document xmlns="http://glabels.org/xmlns/3.0/">
  <Template brand="Avery" part="7414" size="A4" description="Business Cards">
    <Meta category="business-card"/>
    <Label-rectangle id="0" width="255.1pt" height="147.4pt" round="0pt" x_waste="0pt" y_waste="0pt">
      <Markup-margin size="5pt"/>
      <Layout nx="2" ny="5" x0="42.51pt" y0="52.44pt" dx="255.1pt" dy="147.4pt"/>
    </Label-rectangle>
  </Template>
  <Objects id="0" rotate="False">
    <Object-text x="10pt" y="20pt" w="140pt" h="20pt" justify="Left" valign="Top" $matrix>
      <Span font_family="Liberation Sans" font_size="13" font_weight="Bold" font_italic="False"
            color="0x000000ff" line_spacing="1"><Field name="nome"/> <Field name="sobrenome"/></Span>
    </Object-text>
    <Object-text x="10pt" y="45pt" w="140pt" h="40pt" justify="Left" valign="Top" $matrix>
      <Span font_family="Liberation Sans" font_size="9" font_weight="Regular" font_italic="False"
            color="0x000000ff" line_spacing="1"><Field name="sufixo"/></Span>
    </Object-text>
    <Object-barcode x="150pt" y="10pt" w="100pt" h="100pt" backend="libqrencode" style="IEC18004"
                    text="False" checksum="False" color="0x000000ff" field="vcard" $matrix/>
  </Objects>
  <Merge type="Text/Comma/Line1Keys" src="$work/contatos.csv"/>
</Glabels-document>
XML

since() { awk -v from="$1" -v to="$EPOCHREALTIME" 'BEGIN { printf "%.3f", to - from }'; }
start=$EPOCHREALTIME
glabels-3-batch -o "$work/glabels.pdf" "$work/cartoes.glabels" >/dev/null 2>&1
glabels_seconds=$(since "$start")
start=$EPOCHREALTIME
"$bench" "$count" "$work/lumo.pdf" --front-only >/dev/null
lumo_seconds=$(since "$start")
pages=$(pdfinfo "$work/glabels.pdf" | sed -n 's/^Pages: *//p')
[[ $pages == $(((count + 9) / 10)) ]] || { echo "glabels.sh: gLabels wrote $pages pages" >&2; exit 1; }
echo "glabels_seconds=$glabels_seconds lumo_seconds=$lumo_seconds"
