#!/bin/sh
# Two builds of the tree, one against Qt 5 and one against Qt 6, over the same files:
# - each writes the same settings and curves through the library; the files must be equal, value
#   by value and storage class by storage class, and each build must read back from the other's
#   files exactly what it reads from its own;
# - each upgrades the sample workstation from every schema version with dbupdate; the databases
#   and the log must be equal, and so must the exit status.
# Exits 77 (skipped) when there is no second build.
#   same-files.sh THIS_BUILD OTHER_BUILD SAMPLES_DIR SQLITE3
set -e
this=$1; other=$2; samples=$3; sqlite3=$4

if [ -z "$other" ]; then
    echo "skipped: no build against the other Qt (configure with -DCORE_CROSS_BUILD_DIR=...)"
    exit 77
fi
major() { sed -n 's/^CORE_QT_MAJOR:[A-Z]*=//p' "$1/CMakeCache.txt" 2>/dev/null; }
if [ -z "$(major "$other")" ] || [ "$(major "$other")" = "$(major "$this")" ]; then
    echo "skipped: $other is not a build of this tree against the other Qt"
    exit 77
fi
for build in "$this" "$other"; do
    for program in tests/samefiles/samefiles dbupdate/dbupdate; do
        if [ ! -x "$build/$program" ]; then
            echo "skipped: $build/$program has not been built"
            exit 77
        fi
    done
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
same() { # same FILE1 FILE2 WHAT
    cmp -s "$1" "$2" || { fail "$3 differ between the builds:"; diff "$1" "$2" | head -20; }
}
qt() { echo "Qt $(major "$1")"; }

# Every value with its storage class and bytes, then the whole database as SQL text.
contents() { # contents DB
    case $(basename "$1") in
        profile.db) "$sqlite3" "$1" "select name, typeof(value), hex(value) from profile order by name" ;;
        data.db) "$sqlite3" "$1" "select patientId, item, typeof(curve), hex(curve) from curve order by rowid" ;;
    esac
    "$sqlite3" "$1" .dump
}

# Settings and curves.
for n in 1 2; do
    [ $n = 1 ] && build=$this || build=$other
    mkdir "$work/write$n"
    "$build/tests/samefiles/samefiles" write "$work/write$n" || fail "$(qt "$build") could not write"
    for db in profile.db data.db; do
        contents "$work/write$n/$db" > "$work/write$n.$db.txt"
    done
done
for db in profile.db data.db; do
    same "$work/write1.$db.txt" "$work/write2.$db.txt" "$db as written"
done
for n in 1 2; do
    [ $n = 1 ] && build=$this || build=$other
    for dir in 1 2; do
        "$build/tests/samefiles/samefiles" read "$work/write$dir" > "$work/read$n-$dir.txt" \
            || fail "$(qt "$build") could not read"
    done
    same "$work/read$n-1.txt" "$work/read$n-2.txt" "$(qt "$build")'s reads of the two builds' files"
done
same "$work/read1-1.txt" "$work/read2-1.txt" "the reads of the same files"

# The upgrade, from every version the samples hold and once more on an upgraded workstation.
for version in 0 1 2; do
    for n in 1 2; do
        [ $n = 1 ] && build=$this || build=$other
        dir="$work/upgrade$version-$n"
        mkdir "$dir"
        "$sqlite3" "$dir/profile.db" < "$samples/profile-v$version.sql"
        "$sqlite3" "$dir/data.db" < "$samples/data-v$version.sql"
        "$sqlite3" "$dir/qc.db" < "$samples/qc.sql"
        "$sqlite3" "$dir/syslog.db" < "$samples/syslog.sql"
        for run in first again; do
            code=0
            (cd "$dir" && "$build/dbupdate/dbupdate" upgrade.log dbupdate_en) || code=$?
            echo "exit status $code" >> "$dir/upgrade.log"
        done
        for db in profile.db data.db qc.db syslog.db; do
            "$sqlite3" "$dir/$db" .dump > "$dir/$db.txt"
        done
    done
    for file in profile.db.txt data.db.txt qc.db.txt syslog.db.txt upgrade.log; do
        same "$work/upgrade$version-1/$file" "$work/upgrade$version-2/$file" \
            "$file after the upgrade from version $version"
    done
done

[ $status = 0 ] && echo "$(qt "$this") and $(qt "$other"): the same files"
exit $status
