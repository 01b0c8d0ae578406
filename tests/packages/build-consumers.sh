#!/bin/sh
# Builds the consumer with CMake (find_package), with pkg-config and a plain compiler call, and with
# qmake, against an installed Core, and runs each.   build-consumers.sh 5|6 [ROOT]
# ROOT is where the packages were unpacked (dpkg -x); without it, the system's /usr.
set -e
major=$1; root=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
libdir=$root/usr/lib/$arch
if [ "$major" = 6 ]; then
    package=TavoCoreQt6; pc=tavocore-qt6; qmake=qmake6
else
    package=TavoCore; pc=tavocore; qmake=/usr/lib/qt5/bin/qmake
fi
if [ -n "$root" ]; then
    export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    export PKG_CONFIG_PATH="$libdir/pkgconfig"
    export QMAKEMODULES="$libdir/qt$major/mkspecs/modules"
fi

cmake -S "$here/consumer" -B "$work/cmake" -DTAVOCORE_PACKAGE=$package \
      ${root:+-DCMAKE_PREFIX_PATH="$root/usr"} >/dev/null
cmake --build "$work/cmake" >/dev/null
printf 'cmake:      '; "$work/cmake/consumer"

# shellcheck disable=SC2046
c++ -std=c++17 -fPIC "$here/consumer/main.cpp" -o "$work/plain" $(pkg-config --cflags --libs $pc)
printf 'pkg-config: '; "$work/plain"

mkdir "$work/qmake"
(cd "$work/qmake" && $qmake "$here/consumer/consumer.pro" >/dev/null && make -s >/dev/null 2>&1 \
    || { echo "qmake build failed"; $qmake "$here/consumer/consumer.pro" && make; exit 1; })
printf 'qmake:      '; "$work/qmake/consumer"
