#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Lumo Card need,
# and only those that are missing, so a second run costs nothing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    libqpdf-dev fonts-liberation2 fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev
    libzbar-dev libqrencode-dev libqrcodegencpp-dev libzip-dev libcups2-dev
    cups-daemon cups-client cups-filters printer-driver-cups-pdf ghostscript
    clang libclang-rt-14-dev time
    python3 python3-vobject python3-pil python3-fonttools
    xvfb xauth xdotool xclip imagemagick poppler-utils qpdf zbar-tools
    lintian desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Instalando pacotes: ${missing[*]}"
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
