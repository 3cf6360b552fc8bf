#!/usr/bin/env bash
# Installs everything Folvex needs to build, run and test on Debian 12, without questions.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
    libfreeimage-dev zlib1g-dev libpng-dev libfontconfig-dev
    libsane-dev sane-utils
    tesseract-ocr tesseract-ocr-deu tesseract-ocr-eng tesseract-ocr-osd ghostscript
    libgtest-dev libgmock-dev libbenchmark-dev qpdf poppler-utils mupdf-tools libopenjp2-tools
    libleptonica-dev
    fonts-dejavu-core fonts-liberation2 fonts-urw-base35 fonts-droid-fallback fonts-noto-mono
    xvfb xauth locales
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

# Tests of number formatting run under the German locale and check that it exists.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    "${sudo_cmd[@]}" sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
