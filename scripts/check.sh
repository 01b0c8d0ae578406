#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite three times: in a normal build
# against Qt 5, in a normal build against Qt 6 (which also holds the two builds' files against
# each other), and in a build against Qt 5 with AddressSanitizer and UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
# Both Qt versions, and for the Win32 serial layer mingw-w64 to build it and Wine to run its tests
# (wine64 alone, in /usr/lib/wine, without the recommended 32-bit half); dpkg-dev, file and
# lintian make and check the Debian packages.
sh scripts/install-deps.sh g++-mingw-w64-x86-64 wine64 dpkg-dev file lintian

jobs=$(nproc 2>/dev/null || echo 2)

echo "== normal build (Qt 5)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== normal build (Qt 6)"
cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORE_QT_MAJOR=6 -DCMAKE_INSTALL_PREFIX=/usr \
      -DCORE_CROSS_BUILD_DIR="$root/build"
cmake --build build-qt6 -j"$jobs"
ctest --test-dir build-qt6 --output-on-failure -j"$jobs"

echo "== sanitizer build (Qt 5)"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCORE_SANITIZE=ON -DCORE_BUILD_EXAMPLES=OFF
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
