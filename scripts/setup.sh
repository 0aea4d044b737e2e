#!/bin/sh
# Installs the Debian packages the launcher and its tests need, only those missing.
set -e
PKGS="build-essential cmake ninja-build pkg-config git
libgtk-4-dev libcairo2-dev libcurl4-openssl-dev libssl-dev zlib1g-dev libwebp-dev libcjson-dev
libgtest-dev libgmock-dev libcpp-httplib-dev openjdk-17-jdk-headless xvfb xauth
dbus at-spi2-core python3-pyatspi"
missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
