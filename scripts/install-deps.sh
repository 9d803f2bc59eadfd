#!/usr/bin/env bash
# Installs what the build, the tests, the demo and the Debian package need on
# Debian 12 (dpkg-dev: dpkg-shlibdeps for the package's Depends, librsvg2-bin:
# the 48x48 icon, poppler-utils: pdftotext for the tests that read PDFs;
# qt6-translations-l10n: Qt's own texts in German; libxlsxwriter-dev: the
# spreadsheet export; libzip-dev: DATANORM deliveries in a .zip; unzip: the
# tests that read an exported workbook;
# libsodium-dev: the stand-in's password hashes, libssl-dev: its
# self-signed certificate, pkgconf to find libsodium and libxlsxwriter).
set -euo pipefail
pkgs=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libsqlite3-dev libgl1-mesa-dev
      libsodium-dev libssl-dev
      xvfb xauth clang-format python3 dpkg-dev librsvg2-bin poppler-utils
      qt6-translations-l10n libxlsxwriter-dev libzip-dev pkgconf unzip)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
