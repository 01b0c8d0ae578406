#include "tavoglobal.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdebug.h>
#include <QtCore/qfile.h>
#include <QtCore/qtextstream.h>
#include <QtCore/qthread.h>
#include <QtScript/qscriptengine.h>
#include <QtScript/qscriptvalue.h>
#include <QtWidgets/qapplication.h>

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
