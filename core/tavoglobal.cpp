#include "tavoglobal.h"
#include "profile.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdatetime.h>
#include <QtCore/qdebug.h>
#include <QtCore/qfile.h>
#include <QtCore/qregexp.h>
#include <QtCore/qtextstream.h>
#include <QtCore/qthread.h>
#include <QtScript/qscriptengine.h>
#include <QtScript/qscriptvalue.h>
#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>
#include <QtSql/qsqlrecord.h>
#include <QtGui/qcursor.h>
#include <QtWidgets/qapplication.h>
#include <QtWidgets/qwidget.h>

QWidget *topLevelWidget()
{
    QWidget *widget = QApplication::activeModalWidget();
    if (!widget)
        widget = QApplication::activeWindow();
    if (widget && widget->window())
        return widget->window();
    return widget;
}

static QMessageBox::StandardButton showMessageBox(QMessageBox::Icon icon, const QString &text,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::StandardButton defaultButton)
{
    // A busy cursor may be in force; the user needs a pointer to answer the box.
    WaitCursor arrow(Qt::ArrowCursor);
    QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, topLevelWidget(),
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton information(const QString &text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Information, text, buttons, defaultButton);
}

QMessageBox::StandardButton question(const QString &text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Question, text, buttons, defaultButton);
}

QMessageBox::StandardButton warning(const QString &text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Warning, text, buttons, defaultButton);
}

QMessageBox::StandardButton critical(const QString &text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    return showMessageBox(QMessageBox::Critical, text, buttons, defaultButton);
}

void sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

// The override cursor is the GUI thread's; elsewhere the guard does nothing.
static bool onApplicationThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

WaitCursor::WaitCursor(Qt::CursorShape shape)
{
    if (onApplicationThread())
        QApplication::setOverrideCursor(QCursor(shape));
}

WaitCursor::~WaitCursor()
{
    if (onApplicationThread())
        QApplication::restoreOverrideCursor();
}

BoolLocker::BoolLocker(bool &flag, bool value)
    : m_flag(&flag), m_value(flag)
{
    flag = value;
}

BoolLocker::~BoolLocker()
{
    *m_flag = m_value;
}

// Sample numbering and prefixes

// A failed statement is logged with the unit and line it was run from, then Qt's form of the error.
static void sqlWarning(int line, const QSqlQuery &query)
{
    const QByteArray tag = ".\\tavoglobal(" + QByteArray::number(line) + "):";
    qWarning() << tag.constData() << query.lastError();
}

int nextSampleNo(const QDate &date)
{
    QSqlQuery query(Profile::instance().dataDatabase());
    // sampleNo is text; the cast makes 12 count above 7, and a text without leading digits 0.
    if (!query.prepare(QStringLiteral(
                "select max(cast(sampleNo as integer)) from patient where date=:date")))
        sqlWarning(__LINE__, query);
    // A date binds as ISO 8601 text, the form the column holds; a null date binds as NULL.
    query.bindValue(QStringLiteral(":date"), QVariant(date), QSql::In);
    if (!query.exec())
        sqlWarning(__LINE__, query);
    // No row (a failed statement) or a NULL maximum (no sample that day) both count as 0.
    const int largest = query.first() ? query.value(0).toInt() : 0;
    return largest + 1;
}

QString samplePrefix(tavo::SampleType type)
{
    switch (type) {
    case tavo::Statim:
        return Profile::instance().statim_sample_prefix(QStringLiteral("S"));
    case tavo::Qc:
        return Profile::instance().qc_sample_prefix(QStringLiteral("QC"));
    }
    return QString();
}

void setGeneratedValue(QSqlRecord &record, const QString &name, const QVariant &value)
{
    const int index = record.indexOf(name);
    record.setValue(index, value);
    record.setGenerated(index, true);
}

// Numeric and text helpers

static const QRegExp &ratioPattern()
{
    static const QRegExp pattern(
            QStringLiteral("([+-]?\\d+(?:\\.\\d*)?)\\s*[:/]\\s*([+-]?\\d+(?:\\.\\d*)?)"));
    return pattern;
}

double fraction(const QString &text, bool *ok)
{
    // A QRegExp keeps the state of its last match; a copy per call shares the compiled pattern and
    // lets any thread call in.
    QRegExp pattern = ratioPattern();
    const bool found = pattern.indexIn(text) != -1;
    if (ok)
        *ok = found;
    if (!found)
        return 0.0;
    return pattern.cap(1).toDouble() / pattern.cap(2).toDouble();
}

double round(double value, int precision, char format)
{
    return QString::number(value, format, precision).toDouble();
}

QStringList dilutionList()
{
    return QStringList { QStringLiteral("1/1"),   QStringLiteral("1/2"),   QStringLiteral("1/4"),
                         QStringLiteral("1/5"),   QStringLiteral("1/8"),   QStringLiteral("1/10"),
                         QStringLiteral("1/16"),  QStringLiteral("1/20"),  QStringLiteral("1/30"),
                         QStringLiteral("1/40"),  QStringLiteral("1/50"),  QStringLiteral("1/80"),
                         QStringLiteral("1/100"), QStringLiteral("1/160"), QStringLiteral("1/320"),
                         QStringLiteral("2/5"),   QStringLiteral("3/4"),   QStringLiteral("3/5"),
                         QStringLiteral("4/5") };
}

// Word i is the CRC of the single byte i under 0x1021, most significant bit first, from 0.
static const quint16 crcTable[256] = {
    0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50a5, 0x60c6, 0x70e7,
    0x8108, 0x9129, 0xa14a, 0xb16b, 0xc18c, 0xd1ad, 0xe1ce, 0xf1ef,
    0x1231, 0x0210, 0x3273, 0x2252, 0x52b5, 0x4294, 0x72f7, 0x62d6,
    0x9339, 0x8318, 0xb37b, 0xa35a, 0xd3bd, 0xc39c, 0xf3ff, 0xe3de,
    0x2462, 0x3443, 0x0420, 0x1401, 0x64e6, 0x74c7, 0x44a4, 0x5485,
    0xa56a, 0xb54b, 0x8528, 0x9509, 0xe5ee, 0xf5cf, 0xc5ac, 0xd58d,
    0x3653, 0x2672, 0x1611, 0x0630, 0x76d7, 0x66f6, 0x5695, 0x46b4,
    0xb75b, 0xa77a, 0x9719, 0x8738, 0xf7df, 0xe7fe, 0xd79d, 0xc7bc,
    0x48c4, 0x58e5, 0x6886, 0x78a7, 0x0840, 0x1861, 0x2802, 0x3823,
    0xc9cc, 0xd9ed, 0xe98e, 0xf9af, 0x8948, 0x9969, 0xa90a, 0xb92b,
    0x5af5, 0x4ad4, 0x7ab7, 0x6a96, 0x1a71, 0x0a50, 0x3a33, 0x2a12,
    0xdbfd, 0xcbdc, 0xfbbf, 0xeb9e, 0x9b79, 0x8b58, 0xbb3b, 0xab1a,
    0x6ca6, 0x7c87, 0x4ce4, 0x5cc5, 0x2c22, 0x3c03, 0x0c60, 0x1c41,
    0xedae, 0xfd8f, 0xcdec, 0xddcd, 0xad2a, 0xbd0b, 0x8d68, 0x9d49,
    0x7e97, 0x6eb6, 0x5ed5, 0x4ef4, 0x3e13, 0x2e32, 0x1e51, 0x0e70,
    0xff9f, 0xefbe, 0xdfdd, 0xcffc, 0xbf1b, 0xaf3a, 0x9f59, 0x8f78,
    0x9188, 0x81a9, 0xb1ca, 0xa1eb, 0xd10c, 0xc12d, 0xf14e, 0xe16f,
    0x1080, 0x00a1, 0x30c2, 0x20e3, 0x5004, 0x4025, 0x7046, 0x6067,
    0x83b9, 0x9398, 0xa3fb, 0xb3da, 0xc33d, 0xd31c, 0xe37f, 0xf35e,
    0x02b1, 0x1290, 0x22f3, 0x32d2, 0x4235, 0x5214, 0x6277, 0x7256,
    0xb5ea, 0xa5cb, 0x95a8, 0x8589, 0xf56e, 0xe54f, 0xd52c, 0xc50d,
    0x34e2, 0x24c3, 0x14a0, 0x0481, 0x7466, 0x6447, 0x5424, 0x4405,
    0xa7db, 0xb7fa, 0x8799, 0x97b8, 0xe75f, 0xf77e, 0xc71d, 0xd73c,
    0x26d3, 0x36f2, 0x0691, 0x16b0, 0x6657, 0x7676, 0x4615, 0x5634,
    0xd94c, 0xc96d, 0xf90e, 0xe92f, 0x99c8, 0x89e9, 0xb98a, 0xa9ab,
    0x5844, 0x4865, 0x7806, 0x6827, 0x18c0, 0x08e1, 0x3882, 0x28a3,
    0xcb7d, 0xdb5c, 0xeb3f, 0xfb1e, 0x8bf9, 0x9bd8, 0xabbb, 0xbb9a,
    0x4a75, 0x5a54, 0x6a37, 0x7a16, 0x0af1, 0x1ad0, 0x2ab3, 0x3a92,
    0xfd2e, 0xed0f, 0xdd6c, 0xcd4d, 0xbdaa, 0xad8b, 0x9de8, 0x8dc9,
    0x7c26, 0x6c07, 0x5c64, 0x4c45, 0x3ca2, 0x2c83, 0x1ce0, 0x0cc1,
    0xef1f, 0xff3e, 0xcf5d, 0xdf7c, 0xaf9b, 0xbfba, 0x8fd9, 0x9ff8,
    0x6e17, 0x7e36, 0x4e55, 0x5e74, 0x2e93, 0x3eb2, 0x0ed1, 0x1ef0,
};

unsigned short crc16(const void *data, int length)
{
    if (!data || length <= 0)
        return 0xffff;
    const uchar *bytes = static_cast<const uchar *>(data);

    // Byte by byte: register = (register << 8) ^ table[(register >> 8) ^ byte], with the register
    // held as its two bytes. The next index, high byte ^ next byte, is then the looked-up word's
    // high byte ^ (low byte ^ next byte); the part in parentheses does not wait for the lookup,
    // so fewer operations stand between one table load and the next.
    uint index = 0xffu ^ bytes[0];
    uint low = 0xffu;
    for (int i = 1; i < length; ++i) {
        const uint word = crcTable[index];
        index = (word >> 8) ^ (low ^ bytes[i]);
        low = word & 0xffu;
    }
    return static_cast<unsigned short>((low << 8) ^ crcTable[index]);
}

// Script evaluation

QVariant eval(const QString &program)
{
    QScriptEngine engine;
    return engine.evaluate(program, QString(), 1).toVariant();
}

// A box needs the widget machinery and the user-interface thread; elsewhere the log must do.
static bool canShowMessageBox()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return qobject_cast<const QApplication *>(app) && app->thread() == QThread::currentThread();
}

QVariant load_script(const QString &fileName)
{
    QString program;
    QString name;
    {
        // A file that cannot be opened reads as an empty script, which evaluates to undefined;
        // it is not reported.
        QFile file(fileName);
        if (!fileName.isEmpty() && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream stream(&file);
            stream.setCodec("UTF-8");
            program = stream.readAll();
        }
        name = file.fileName();
    }

    QString message;
    {
        QScriptEngine engine;
        const QVariant result = engine.evaluate(program, name, 1).toVariant();
        if (!engine.hasUncaughtException())
            return result;
        message = engine.uncaughtException().toString() + QLatin1Char('\n')
                + engine.uncaughtExceptionBacktrace().join(QLatin1Char('\n'));
    }

    // The file and the engine are gone by now: the box may stay open for a long time.
    if (canShowMessageBox())
        critical(message, QMessageBox::Ok, QMessageBox::NoButton);
    else
        qWarning().noquote() << message;
    return QVariant();
}
