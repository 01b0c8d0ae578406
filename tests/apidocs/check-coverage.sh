#!/bin/sh
# Every symbol the library exports has its entry in the API reference: a documented member or
# function, or, for what moc and the compiler add and for private members that an exported class
# exports with it, its documented class.   check-coverage.sh libCore.so DOXYGEN_XML_DIR
set -e
lib=$1; xml=$2
[ -f "$xml/index.xml" ] || { echo "no API reference in $xml"; exit 1; }

# The reference's entries: qualified names of documented members, and of classes.
entries=$(mktemp)
trap 'rm -f "$entries"' EXIT
# Functions and macros of a header are named without scope in its file's entry.
{
    sed -n 's|.*<qualifiedname>\(.*\)</qualifiedname>.*|\1|p; s|.*<compoundname>\(.*\)</compoundname>.*|\1|p' \
        "$xml"/*.xml
    sed -n 's|^ *<name>\(.*\)</name>$|\1|p' "$xml"/*_8h.xml
} | sed 's/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g' | sort -u >"$entries"
# Private members are listed under their class, never documented on their own.
private=$(sed -n 's|.*prot="private".*<scope>\(.*\)</scope><name>\(.*\)</name></member>.*|\1::\2|p' \
    "$xml"/*.xml | sort -u)

# The library's own symbols, by name without parameters (Qt's and the standard library's weak
# inline code left out, as in check-exports.sh).
names=$(nm -D --defined-only -C "$lib" \
    | awk '$2 ~ /^[TDBRVWu]$/ { type = $2; $1 = ""; $2 = ""; sub(/^  /, ""); print type " " $0 }' \
    | sed -e 's/^\(.\) \(typeinfo name for\|typeinfo for\|vtable for\|non-virtual thunk to\|guard variable for\) /\1 /' \
    | awk '!($1 ~ /^[VW]$/ && ($2 ~ /^[Qq]/ || $0 ~ /^. ([^ (]+ )?(std|__gnu_cxx)::/)) { sub(/^. /, ""); print }' \
    | grep -v '^_' \
    | sed -e 's/(.*//' \
          -e 's/::\(staticMetaObject\|metaObject\|qt_metacall\|qt_metacast\|qt_static_metacall\)$//' \
    | sort -u)

missing=$(printf '%s\n' "$names" | while IFS= read -r name; do
    grep -qxF "$name" "$entries" && continue
    if printf '%s\n' "$private" | grep -qxF "$name" && grep -qxF "${name%::*}" "$entries"; then
        continue
    fi
    echo "exported but not in the API reference: $name"
done)
if [ -n "$missing" ]; then
    printf '%s\n' "$missing"
    exit 1
fi
echo "API reference: all $(printf '%s\n' "$names" | wc -l) exported names have their entry"
