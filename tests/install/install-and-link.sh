#!/bin/sh
# Installs the build into a scratch prefix, then builds and runs a small application that finds
# the library with find_package, and checks that the package brought the Qt of the build.
#   install-and-link.sh BUILD_DIR SOURCE_DIR QT LIBDIR LIBRARY INCLUDEDIR PACKAGE PROGRAM
# (QT is Qt5 or Qt6; the rest are the build's installed names, relative to the prefix.)
set -e
build=$1; here=$2; qt=$3; libdir=$4; library=$5; includedir=$6; package=$7; program=$8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in "$libdir/$library" "$includedir/profile.h" "$includedir/core_global.h" \
         "$includedir/tavocore_version.h" "$libdir/cmake/$package/${package}Config.cmake" \
         "bin/$program" "share/$program/translations/dbupdate_en.qm"; do
    [ -e "$work/prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done

cmake -S "$here/app" -B "$work/app" -DCMAKE_PREFIX_PATH="$work/prefix" -DEXPECTED_QT="$qt" \
      -DTAVOCORE_PACKAGE="$package" >/dev/null
cmake --build "$work/app" >/dev/null
LD_LIBRARY_PATH="$work/prefix/$libdir" "$work/app/app"
