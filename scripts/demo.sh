#!/bin/sh
# The main job on the bundled sample: installs what is missing, builds, lays out a fresh copy of
# the sample workstation (an old installation, schema version 0) in a new directory, looks at it
# with dbupdate --check, upgrades it with dbupdate, shows what the upgrade logged and the snapshot
# it left, and prints the day's report read through Core, with a picture of a clot curve.
#   demo.sh [directory]
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
CORE_QT_MAJOR=5 sh scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "built: $root/build"

dir=${1:-$(mktemp -d "${TMPDIR:-/tmp}/workstation.XXXXXX")}
mkdir -p "$dir"
if [ -e "$dir/profile.db" ] || [ -e "$dir/data.db" ]; then
    echo "demo: $dir already holds a workstation; name a new directory" >&2
    exit 2
fi
sqlite3 "$dir/profile.db" < samples/profile-v0.sql
sqlite3 "$dir/data.db" < samples/data-v0.sql
sqlite3 "$dir/qc.db" < samples/qc.sql
sqlite3 "$dir/syslog.db" < samples/syslog.sql
echo "sample workstation (version 0) laid out in $dir"

cd "$dir"
echo "--- dbupdate --check (changes nothing)"
check=0
"$root/build/dbupdate/dbupdate" --check || check=$?
echo "dbupdate --check exit status: $check (3: an upgrade is due)"
status=0
"$root/build/dbupdate/dbupdate" upgrade.log dbupdate_en || status=$?
echo "dbupdate exit status: $status"
echo "--- upgrade.log"
cat upgrade.log 2>/dev/null || echo "(empty)"
echo "--- the snapshot it left (dbupdate --list)"
"$root/build/dbupdate/dbupdate" --list
ls -l dbupdate-backup/*/
echo "---"
echo "profile.db version: $(sqlite3 profile.db 'select version from version')"
echo "data.db version:    $(sqlite3 data.db 'select version from version')"
[ "$status" -eq 0 ] || exit "$status"

echo "--- report"
QT_QPA_PLATFORM=offscreen "$root/build/examples/report/report" --lang en "$dir"
