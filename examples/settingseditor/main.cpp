// A small settings editor: a few typed settings of the workstation's Profile in a two-column tree
// (PropertyItemModel in a QTreeView). Run it in a workstation's data directory, or name one:
//
//   settingseditor [directory]
//   settingseditor --grab editor.png [directory]     save a picture of the window and quit
//
// The picture is taken with nobody there: it creates nothing in the directory, asks nothing, and
// refuses a directory that is not a workstation.
//
// Edited rows are bold and their group counts them; Save writes them to the profile table,
// Revert brings back the stored values.

#include "settingseditor.h"

#include "profile.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QTextStream>
#include <QtCore/QTimer>
#include <QtSql/QSqlDatabase>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>

namespace {

// Why the working directory is not a workstation, found without creating or changing anything
// there (the store creates a missing database and asks about it in a box): each of its four
// databases is an SQLite file that holds tables, profile.db the profile table. Empty when it is
// one.
QString notAWorkstation()
{
    const QString connection = QStringLiteral("workstation check");
    for (const char *name : { "profile.db", "data.db", "qc.db", "syslog.db" }) {
        const QString fileName = QString::fromLatin1(name);
        if (!QFileInfo(fileName).isFile())
            return QStringLiteral("%1 is missing").arg(fileName);
        QStringList tables;
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(fileName);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (db.open()) {
                QSqlQuery query(db);
                if (!query.exec(QStringLiteral(
                            "select name from sqlite_master where type = 'table'")))
                    error = query.lastError().text();
                while (query.next())
                    tables << query.value(0).toString();
            } else {
                error = db.lastError().text();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        if (!error.isEmpty())
            return QStringLiteral("%1 cannot be read: %2").arg(fileName, error);
        if (tables.isEmpty())
            return QStringLiteral("%1 holds no tables").arg(fileName);
        if (fileName == QLatin1String("profile.db") && !tables.contains(QLatin1String("profile")))
            return QStringLiteral("profile.db has no table profile");
    }
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("settingseditor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Edits a few settings of a workstation."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("directory"),
                                 QStringLiteral("The workstation's data directory (default: the "
                                                "current directory)."),
                                 QStringLiteral("[directory]"));
    const QCommandLineOption grabOption(QStringLiteral("grab"),
                                        QStringLiteral("Save a picture of the window and quit."),
                                        QStringLiteral("file"));
    parser.addOption(grabOption);
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (!args.isEmpty() && !QDir::setCurrent(args.first())) {
        QTextStream(stderr) << "settingseditor: cannot enter " << args.first() << '\n';
        return 2;
    }

    const bool grab = parser.isSet(grabOption);
    if (grab) {
        const QString problem = notAWorkstation();
        if (!problem.isEmpty()) {
            QTextStream(stderr) << "settingseditor: " << QDir::currentPath()
                                << " is not a workstation: " << problem << '\n';
            return 2;
        }
    }

    // Nobody is there to answer a box while the picture is taken: print it, close it, and fail.
    bool boxShown = false;
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [&boxShown] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            QTextStream(stderr) << "settingseditor: " << box->text() << '\n';
            box->done(QMessageBox::Ok);
            boxShown = true;
        }
    });
    if (grab)
        boxCloser.start(20);

    // The store opens its databases in the working directory on first use.
    Profile::instance();

    SettingsEditor editor;
    editor.show();
    if (grab) {
        QApplication::processEvents();
        const QString file = parser.value(grabOption);
        if (!editor.grab().save(file)) {
            QTextStream(stderr) << "settingseditor: cannot write " << file << '\n';
            return 1;
        }
        return boxShown ? 1 : 0;
    }
    return app.exec();
}
