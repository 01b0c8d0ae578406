#include <QtTest>

#include "boxcatcher.h"
#include "tavoglobal.h"

#include <QtCore/qthread.h>
#include <QtWidgets/qdialog.h>

class tst_UiHelpers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void boxes_data();
    void boxes();
    void defaultButtonOnlyWhenGiven();
    void questionAnswer();
    void topLevelWidgetFollowsModalAndActive();
    void waitCursorNests();
    void arrowInsideBox();
    void waitCursorOnWorkerThread();
    void boolLockerRestores();
    void sleepBlocks();
};

typedef QMessageBox::StandardButton (*BoxFunction)(const QString &, QMessageBox::StandardButtons,
                                                    QMessageBox::StandardButton);
Q_DECLARE_METATYPE(BoxFunction)

void tst_UiHelpers::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Coagulation Workstation"));
}

void tst_UiHelpers::cleanup()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void tst_UiHelpers::boxes_data()
{
    QTest::addColumn<BoxFunction>("function");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::newRow("information") << &information << QMessageBox::Information;
    QTest::newRow("warning") << &warning << QMessageBox::Warning;
    QTest::newRow("critical") << &critical << QMessageBox::Critical;
    QTest::newRow("question") << &question << QMessageBox::Question;
}

void tst_UiHelpers::boxes()
{
    QFETCH(BoxFunction, function);
    QFETCH(QMessageBox::Icon, icon);

    BoxCatcher catcher(QMessageBox::Cancel);
    const auto answer = function(QString::fromUtf8("样本已过期"), QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok);
    QCOMPARE(answer, QMessageBox::Cancel);
    QCOMPARE(catcher.boxes.size(), 1);
    const CaughtBox box = catcher.boxes.first();
    QCOMPARE(box.title, QString("Coagulation Workstation"));
    QCOMPARE(box.text, QString::fromUtf8("样本已过期"));
    QCOMPARE(box.icon, icon);
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
}

void tst_UiHelpers::defaultButtonOnlyWhenGiven()
{
    BoxCatcher catcher;
    warning("text", QMessageBox::Ok, QMessageBox::NoButton);
    QCOMPARE(catcher.boxes.size(), 1);
    // Qt picks an automatic default only when the box is shown; none is set beforehand.
    QCOMPARE(catcher.boxes.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void tst_UiHelpers::questionAnswer()
{
    BoxCatcher catcher(QMessageBox::Yes);
    const auto answer = question("Delete the sample?", QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No);
    QCOMPARE(answer, QMessageBox::Yes);
    QCOMPARE(catcher.boxes.first().defaultButton, QMessageBox::No);
    QCOMPARE(catcher.boxes.first().title, QString("Coagulation Workstation"));
}

void tst_UiHelpers::topLevelWidgetFollowsModalAndActive()
{
    // No window at all: no parent.
    QCOMPARE(topLevelWidget(), static_cast<QWidget *>(nullptr));
    {
        BoxCatcher catcher;
        information("no parent", QMessageBox::Ok, QMessageBox::NoButton);
        QVERIFY(!catcher.boxes.first().hasParent);
    }

    QWidget main;
    QWidget *child = new QWidget(&main);
    main.show();
    QApplication::setActiveWindow(child);
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QCOMPARE(topLevelWidget(), &main);

    // A box opened now sits over the active window, and while it is open it is the dialog parent.
    BoxCatcher catcher;
    bool boxIsParent = false;
    catcher.onBox = [&](QMessageBox *box) { boxIsParent = topLevelWidget() == box; };
    information("over the main window", QMessageBox::Ok, QMessageBox::NoButton);
    QCOMPARE(catcher.boxes.first().parent, &main);
    QVERIFY(boxIsParent);
}

void tst_UiHelpers::waitCursorNests()
{
    QVERIFY(!QApplication::overrideCursor());
    {
        WaitCursor outer;
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            WaitCursor inner(Qt::BusyCursor);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
            WaitCursor other;
            other = inner; // assignment changes nothing
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QApplication::overrideCursor());
}

void tst_UiHelpers::arrowInsideBox()
{
    WaitCursor busy;
    BoxCatcher catcher;
    warning("while busy", QMessageBox::Ok, QMessageBox::NoButton);
    QVERIFY(catcher.boxes.first().overrideCursor);
    QCOMPARE(catcher.boxes.first().cursorShape, Qt::ArrowCursor);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

void tst_UiHelpers::waitCursorOnWorkerThread()
{
    WaitCursor mine(Qt::CrossCursor);
    int shapeInside = -1;
    QThread *worker = QThread::create([&] {
        WaitCursor cursor;
        shapeInside = QApplication::overrideCursor()->shape();
    });
    worker->start();
    QVERIFY(worker->wait(10000));
    delete worker;
    // The worker's guard neither pushed nor popped: ours is still the only one.
    QCOMPARE(shapeInside, int(Qt::CrossCursor));
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
    QVERIFY(!QApplication::overrideCursor());
    QApplication::setOverrideCursor(Qt::CrossCursor); // popped again when the guard ends
}

void tst_UiHelpers::boolLockerRestores()
{
    bool flag = false;
    {
        BoolLocker outer(flag, true);
        QVERIFY(flag);
        {
            BoolLocker inner(flag, false);
            QVERIFY(!flag);
            flag = true; // changed inside: the guard still restores what it found
        }
        QVERIFY(flag);
        flag = false;
    }
    QVERIFY(!flag);
}

void tst_UiHelpers::sleepBlocks()
{
    QElapsedTimer timer;
    timer.start();
    sleep(50);
    QVERIFY(timer.elapsed() >= 49);
}

QTEST_MAIN(tst_UiHelpers)
#include "tst_uihelpers.moc"
