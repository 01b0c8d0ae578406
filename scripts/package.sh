#!/bin/sh
# Builds the Debian packages for Qt 5 and Qt 6 into packages/ (or the directory named): libcore1,
# libcore-dev and dbupdate; libcoreqt6-1, libcoreqt6-dev and dbupdate-qt6. The two sets install
# side by side.   package.sh [DIRECTORY]
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-$root/packages}
sh scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
# Built with Debian's hardening flags, as its own packages are.
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

mkdir -p "$out"
for major in 5 6; do
    build=build-deb-qt$major
    cmake -S . -B $build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
          -DCORE_QT_MAJOR=$major -DCORE_BUILD_TESTS=OFF -DCORE_BUILD_EXAMPLES=OFF >/dev/null
    cmake --build $build -j"$jobs" >/dev/null
    cpack --config $build/CPackConfig.cmake -G DEB -B "$out" >/dev/null
done
rm -rf "$out/_CPack_Packages"
echo "packages in $out:"
ls "$out"/*.deb
