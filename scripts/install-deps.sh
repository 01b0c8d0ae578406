#!/bin/sh
# Installs the Debian packages that building the tree needs, and any named extra ones, only when
# one is missing, so a machine that has them all is left alone.
#   Usage: scripts/install-deps.sh [extra packages...]
# Both Qt 5.15 and Qt 6 are installed; CORE_QT_MAJOR=5 or CORE_QT_MAJOR=6 limits it to one.
set -e

# qtbase5-dev-tools and qt6-base-dev-tools bring qmake, for the consumer that uses it.
qt5="qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite qtscript5-dev qttools5-dev-tools qttranslations5-l10n"
qt6="qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-declarative-dev qt6-l10n-tools qt6-tools-dev-tools"
case "${CORE_QT_MAJOR:-}" in
    5) qt="$qt5" ;;
    6) qt="$qt6" ;;
    "") qt="$qt5 $qt6" ;;
    *) echo "install-deps.sh: CORE_QT_MAJOR must be 5 or 6" >&2; exit 2 ;;
esac

# libssl-dev: dbupdate hashes its snapshots with OpenSSL. doxygen builds the API reference, part
# of every build; abigail-tools holds the library's ABI against its baseline in every build with
# tests.
packages="cmake g++ make pkg-config $qt sqlite3 libsqlite3-dev libssl-dev doxygen abigail-tools $*"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
