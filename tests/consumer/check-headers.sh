#!/bin/sh
# Every public header compiles on its own, as the first include of an application's file.
#   check-headers.sh CXX CORE_SOURCE_DIR
set -e
# The Qt the library was built against: CORE_QT=Qt5 (the default) or Qt6.
qt="${CORE_QT:-Qt5}Widgets ${CORE_QT:-Qt5}Sql"
cxx=$1; include=$2
status=0
for header in core_global.h core.h profile.h analysisresult.h tavoglobal.h propertyitem.h \
              propertyitemmodel.h serial.h; do
    # shellcheck disable=SC2046
    if ! echo "#include <$header>" | "$cxx" -std=c++17 -fPIC -fsyntax-only \
            -I "$include" $(pkg-config --cflags $qt) -x c++ -; then
        echo "not self-contained: $header"
        status=1
    fi
done
exit $status
