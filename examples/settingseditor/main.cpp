// A small settings editor: a few typed settings of the workstation's Profile in a two-column tree
// (PropertyItemModel in a QTreeView). Run it in a workstation's data directory, or name one:
//
//   settingseditor [directory]
//   settingseditor --grab editor.png [directory]     save a picture of the window and quit
//
// Edited rows are bold and their group counts them; Save writes them to the profile table,
// Revert brings back the stored values.

#include "settingseditor.h"

#include "profile.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QDir>
#include <QtCore/QTextStream>
#include <QtWidgets/QApplication>

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

    // The store opens its databases in the working directory on first use.
    Profile::instance();

    SettingsEditor editor;
    editor.show();
    if (parser.isSet(grabOption)) {
        QApplication::processEvents();
        const QString file = parser.value(grabOption);
        if (!editor.grab().save(file)) {
            QTextStream(stderr) << "settingseditor: cannot write " << file << '\n';
            return 1;
        }
        return 0;
    }
    return app.exec();
}
