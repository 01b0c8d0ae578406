#!/bin/sh
# Installs the build into a scratch prefix, then builds and runs a small application that finds
# the library with find_package, and checks that the package brought the Qt of the build.
#   install-and-link.sh BUILD_DIR SOURCE_DIR QT (Qt5 or Qt6)
set -e
build=$1; here=$2; qt=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in lib/libCore.so include/tavocore/profile.h include/tavocore/core_global.h \
         lib/cmake/TavoCore/TavoCoreConfig.cmake bin/dbupdate; do
    [ -e "$work/prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
ls "$work/prefix/bin/"*.qm >/dev/null 2>&1 || { echo "no catalogue installed"; exit 1; }

cmake -S "$here/app" -B "$work/app" -DCMAKE_PREFIX_PATH="$work/prefix" -DEXPECTED_QT="$qt" >/dev/null
cmake --build "$work/app" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/app/app"
