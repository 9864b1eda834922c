#!/usr/bin/env bash
# Makes the two CMYK output profiles of the print-shop export from the free characterization
# data that Debian ships (icc-profiles-free: the FOGRA39L and FOGRA29L measurements) with
# ArgyllCMS's colprof, and writes them to resources/icc/. The outputs are committed; run this
# again only to change how they are made.
#
#   tools/make_cmyk_profiles.sh        (needs the packages argyll and icc-profiles-free)
#
# Choices: medium-quality tables (a few hundred kilobytes, embedded in every print-shop file),
# ramped black generation, the total ink limits of the conditions (330 % on coated stock,
# 300 % on uncoated), and the perceptual table gamut-mapped from sRGB, the colour space of
# every picture and colour a card holds.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
data=/usr/share/color/icc
srgb=/usr/share/color/argyll/ref/sRGB.icm
out="$here/resources/icc"
for f in "$data/FOGRA39L.ti3" "$data/FOGRA29L.ti3" "$srgb"; do
    [[ -r "$f" ]] || { echo "falta $f (pacotes icc-profiles-free e argyll)" >&2; exit 1; }
done
command -v colprof >/dev/null || { echo "falta colprof (pacote argyll)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

make_profile() { # name ink-limit description
    cp "$data/$1L.ti3" "$work/$1.ti3"
    colprof -qm -kr -l "$2" -nc -S "$srgb" -D "$3" \
        -C "Made from Fogra's $1L characterization data (icc-profiles-free) with ArgyllCMS" \
        "$work/$1" >"$work/$1.log"
    cp "$work/$1.icc" "$out/$1.icc"
}

make_profile FOGRA39 330 "Lumo Card FOGRA39 (coated)"
make_profile FOGRA29 300 "Lumo Card FOGRA29 (uncoated)"
ls -l "$out"
