// What both script engines share: reading a script file and showing a script's error.

#include "scripts_p.h"
#include "tavoglobal.h"

#include <QtCore/qcoreapplication.h>
#include <QtCore/qdebug.h>
#include <QtCore/qfile.h>
#include <QtCore/qtextstream.h>
#include <QtCore/qthread.h>
#include <QtWidgets/qapplication.h>

QString readScriptFile(const QString &fileName, QString *name)
{
    QString program;
    QFile file(fileName);
    if (!fileName.isEmpty() && file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream stream(&file);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        stream.setCodec("UTF-8"); // Qt 6 streams read UTF-8 unless told otherwise
#endif
        program = stream.readAll();
    }
    *name = file.fileName();
    return program;
}

// A box needs the widget machinery and the user-interface thread; elsewhere the log must do.
static bool canShowMessageBox()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return qobject_cast<const QApplication *>(app) && app->thread() == QThread::currentThread();
}

void reportScriptError(const QString &message)
{
    if (canShowMessageBox())
        critical(message, QMessageBox::Ok, QMessageBox::NoButton);
    else
        qWarning().noquote() << message;
}
