#!/bin/sh
# The library exports its public interface and nothing else.   check-exports.sh libCore.so
set -e
lib=$1

# Every defined symbol must belong to a public class or function.
public='Core|Profile|AnalysisResult|ClotCurve|PropertyItem|PropertyItemModel|Serial|WaitCursor|BoolLocker|tavo'
functions='nextSampleNo|samplePrefix|setGeneratedValue|fraction|round|dilutionList|crc16|eval|load_script|topLevelWidget|information|question|warning|critical|sleep'

# Weak definitions of Qt's and the standard library's inline code are theirs, not ours.
symbols=$(nm -D --defined-only -C "$lib" \
    | awk '$2 ~ /^[TDBRVWu]$/ { type = $2; $1 = ""; $2 = ""; sub(/^  /, ""); print type " " $0 }' \
    | sed -e 's/^\(.\) \(typeinfo name for\|typeinfo for\|vtable for\|non-virtual thunk to\|guard variable for\) /\1 /' \
    | awk '!($1 ~ /^[VW]$/ && ($2 ~ /^[Qq]/ || $0 ~ /^. ([^ (]+ )?(std|__gnu_cxx)::/)) { sub(/^. /, ""); print }')

stray=$(printf '%s\n' "$symbols" | grep -vE "^($public)(::|\$| )" | grep -vE "^($functions)\(" | grep -v '^_' || true)
if [ -n "$stray" ]; then
    echo "not part of the interface but exported:"
    printf '%s\n' "$stray"
    exit 1
fi

# A sample of every family of the interface is there.
for needed in 'Profile::instance()' 'Profile::value(QString const&, QVariant const&)' \
              'Profile::set_is_touch_screen(bool const&, bool)' 'Profile::staticMetaObject' \
              'AnalysisResult::shared_null' 'AnalysisResult::notClottedValue' \
              'ClotCurve::fromBuffer(QByteArray const&)' 'nextSampleNo(QDate const&)' \
              'crc16(void const*, int)' 'load_script(QString const&)' 'warning(QString const&' \
              'WaitCursor::WaitCursor(Qt::CursorShape)' 'PropertyItemModel::staticMetaObject' \
              'PropertyItem::PropertyItem(QString const&, QVariant const&)' 'Serial::EnumDevices()'; do
    if ! printf '%s\n' "$symbols" | grep -qF "$needed"; then
        echo "missing from the interface: $needed"
        exit 1
    fi
done
echo "exports: $(printf '%s\n' "$symbols" | wc -l) symbols, all public"
