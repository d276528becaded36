#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build and the tests need (run as root on Debian 12).
set -euo pipefail
# qt6-base-dev: the window (Qt 6 Widgets, and Qt Test for its tests on the offscreen platform);
# fonts-noto-cjk: a font that holds the window's Chinese texts; qt6-webengine-dev: the login
# window's embedded browser (Qt WebEngine, with its helper process in
# libqt6webenginecore6-bin), which shares its cookies with the engine; qt6-translations-l10n:
# Qt's own Chinese texts for the standard dialogs (the message boxes' buttons, the folder
# picker); clang and its sanitizer runtimes: the CI's sanitizer build and the fuzz targets;
# libsqlite3-dev: the download archive, with libssl-dev for its SHA-256 checksums (libcrypto);
# dpkg-dev (dpkg-shlibdeps, with file, by which CPack finds the programs) and appstream
# (appstreamcli): the Debian package's Depends and its metadata's check; libtomlplusplus-dev:
# the config file albumora.toml; aria2: the tests run aria2c on the exported lists. The package
# test checks the Debian packages as Debian does: lintian (no error or warning), devscripts
# (hardening-check: the programs' hardening flags), python3-debian (its debian.copyright parser
# reads the machine-readable copyright file).
packages=(cmake g++ make pkg-config libcurl4-openssl-dev zlib1g-dev libcpp-httplib-dev
  libgtest-dev libcli11-dev ca-certificates qt6-base-dev fonts-noto-cjk qt6-webengine-dev
  libqt6webenginecore6-bin qt6-translations-l10n clang libclang-rt-14-dev libsqlite3-dev
  libssl-dev dpkg-dev file appstream libtomlplusplus-dev aria2 lintian devscripts
  python3-debian)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
