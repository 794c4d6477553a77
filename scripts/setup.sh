#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (run as root).
# Does nothing when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev qt6-translations-l10n qt6-l10n-tools
  libqt6sql6-sqlite libsqlite3-dev sqlite3 tzdata
  libical-dev liblunar-date-dev python3-dateutil python3-lunardate
  fonts-wqy-microhei
  xvfb xauth xdotool x11-utils imagemagick trayer
  desktop-file-utils clang libclang-rt-14-dev clang-format ccache
  dbus weston qt6-wayland openbox lintian dpkg-dev file xdg-utils x11-xserver-utils
  python3-icalendar radicale python3-caldav faketime qtkeychain-qt6-dev libxss-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run this as root (or: sudo apt-get install ${missing[*]})." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
