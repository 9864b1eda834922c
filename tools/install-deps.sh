#!/usr/bin/env bash
# Installs the Debian packages that Lumo Card needs, and only those that are missing, so a
# second run costs nothing.
#
#   tools/install-deps.sh          what building and running the program need (./run.sh)
#   tools/install-deps.sh --tests  that and the test tools (./test.sh, .ci/run)
set -euo pipefail

# Building and running the program: compiler and build tools, Qt, the libraries it links
# (libqpdf, libzip, zlib, libcups for print queues, pcsc-lite for NFC readers, Little CMS for the
# print shop's CMYK), the fonts that stand in for Arial, and Qt's Portuguese texts for the
# system dialogs.
packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    libqpdf-dev libzip-dev zlib1g-dev libcups2-dev libpcsclite-dev liblcms2-dev
    fonts-liberation2 fonts-dejavu-core
)

# The test suite, benchmarks and fuzz targets: GoogleTest and Google Benchmark, the QR oracles
# (zbar, libqrencode, qrcodegen), clang for libFuzzer, the whole-program check under Xvfb, the
# readers of what the program writes (poppler, qpdf, pikepdf, Ghostscript's separations,
# ImageMagick, Python's vobject and PIL), a real print queue (cupsd with cups-pdf), the PC/SC
# service with a virtual reader for the emulated NFC chips, and the package checks.
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev
    libzbar-dev libqrencode-dev libqrcodegencpp-dev
    cups-daemon cups-client cups-filters printer-driver-cups-pdf ghostscript
    clang libclang-rt-14-dev time
    python3 python3-vobject python3-pil python3-fonttools
    xvfb xauth xdotool xclip imagemagick poppler-utils qpdf zbar-tools
    pcscd vsmartcard-vpcd
    python3-pikepdf locales
    lintian desktop-file-utils appstream
)

case "${1:-}" in
    "") ;;
    --tests) packages+=("${test_packages[@]}") ;;
    *) echo "uso: $0 [--tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
if ((${#missing[@]})); then
    echo "Instalando pacotes: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests also run the program in the locale of its users, whose decimal mark is a comma.
if [[ ${1:-} == --tests ]] && ! locale -a 2>/dev/null | grep -qix 'pt_BR.utf-\?8'; then
    $sudo localedef -i pt_BR -c -f UTF-8 -A /usr/share/locale/locale.alias pt_BR.UTF-8
fi
