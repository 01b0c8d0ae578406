#!/bin/sh
# Makes the Debian packages of a build and checks them without installing anything on this
# machine: lintian finds no error; unpacked (dpkg -x) into a throwaway root, together with those of
# the other Qt's build when given, no file lies in both sets; the unpacked dbupdate shows the
# project's version and finds its catalogue; and the three consumers build against the root.
#   check-packages.sh BUILD_DIR SOURCE_DIR QT_MAJOR VERSION [OTHER_BUILD_DIR]
set -e
build=$1; source=$2; major=$3; version=$4; other=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# The packages stay in the build, where the other Qt's build can find them.
out=$build/packages
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
debs=$(ls "$out"/*.deb)
echo "packages:"; printf '  %s\n' $debs | sed "s|$out/||"
[ "$(printf '%s\n' $debs | wc -l)" -eq 3 ] || { echo "expected three packages"; exit 1; }

# Errors fail; the warnings left are listed (README.md says why each is there).
status=0
# shellcheck disable=SC2086
lintian --fail-on error --tag-display-limit 0 $debs >"$root/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$root/lintian.log" || true
[ "$status" -eq 0 ] || { echo "lintian reports errors"; exit 1; }
rm "$root/lintian.log"

files() { for deb; do dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }'; done | sort; }
if [ -n "$other" ] && ls "$other"/packages/*.deb >/dev/null 2>&1; then
    # shellcheck disable=SC2086
    shared=$(files $debs | comm -12 - "$(files "$other"/packages/*.deb >"$root.other"; echo "$root.other")")
    rm -f "$root.other"
    if [ -n "$shared" ]; then
        echo "files in the packages of both Qt builds:"; printf '%s\n' "$shared"
        exit 1
    fi
    debs="$debs $(ls "$other"/packages/*.deb)"
    echo "no file shared with $(ls "$other"/packages/*.deb | wc -l) packages of $other"
fi
for deb in $debs; do
    dpkg -x "$deb" "$root"
done

program=dbupdate; [ "$major" = 6 ] && program=dbupdate-qt6
[ "$("$root/usr/bin/$program" --version)" = "dbupdate $version" ] \
    || { echo "$program --version does not show $version"; exit 1; }
ws=$root/workstation
mkdir "$ws"
for db in profile-v0:profile data-v0:data qc:qc syslog:syslog; do
    sqlite3 "$ws/${db#*:}.db" <"$source/samples/${db%%:*}.sql"
done
(cd "$ws" && "$root/usr/bin/$program" upgrade.log dbupdate_en) \
    || { echo "$program failed:"; cat "$ws/upgrade.log"; exit 1; }
sqlite3 "$ws/profile.db" .dump | grep -q 'Gradient 1' \
    || { echo "$program did not find its installed catalogue"; exit 1; }
echo "$program: version $version, installed catalogue found"

pc=tavocore; [ "$major" = 6 ] && pc=tavocore-qt6
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$(PKG_CONFIG_PATH="$root/usr/lib/$arch/pkgconfig" pkg-config --modversion $pc)" = "$version" ] \
    || { echo "$pc.pc does not carry $version"; exit 1; }
sh "$here/build-consumers.sh" "$major" "$root" | tee "$root/consumers.log"
[ "$(grep -c "Core $version on Qt $major\." "$root/consumers.log")" -eq 3 ] \
    || { echo "a consumer failed or ran on another Qt"; exit 1; }
