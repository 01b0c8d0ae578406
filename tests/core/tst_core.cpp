#include <QtTest>

#include "core.h"

#include <type_traits>

class tst_Core : public QObject
{
    Q_OBJECT

private slots:
    void emptyValue();
};

void tst_Core::emptyValue()
{
    QVERIFY(std::is_empty<Core>::value);
    Core a;
    Core b(a);
    b = a;
    Core *c = new Core;
    delete c;
}

QTEST_APPLESS_MAIN(tst_Core)
#include "tst_core.moc"
