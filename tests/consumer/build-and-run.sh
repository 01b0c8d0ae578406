#!/bin/sh
# Builds consumer.cpp the way an application outside the project would (-I core, -lCore) and
# runs it in an empty directory.   build-and-run.sh CXX CORE_SOURCE_DIR LIBCORE_DIR [FLAGS...]
set -e
# The Qt the library was built against: CORE_QT=Qt5 (the default) or Qt6; CORE_LIBRARY names the
# library (Core, CoreQt6).
qt="${CORE_QT:-Qt5}Widgets ${CORE_QT:-Qt5}Sql"
cxx=$1; include=$2; libdir=$3; shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck disable=SC2046
"$cxx" -std=c++17 -fPIC "$@" -I "$include" $(pkg-config --cflags $qt) \
    "$here/consumer.cpp" -o "$work/consumer" \
    -L "$libdir" -l"${CORE_LIBRARY:-Core}" $(pkg-config --libs $qt)

cd "$work"
LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" QT_QPA_PLATFORM=offscreen ./consumer
