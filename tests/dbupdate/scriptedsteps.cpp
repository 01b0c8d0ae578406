// The profile.db and data.db steps of dbupdate_scripted: the real program with steps that run
// what the file named by DBUPDATE_SCRIPT says, so that tests reach the step machinery one
// operation at a time. The script has a section per step, "[UpdateProfile]" and
// "[UpdateData]", and one operation per line, fields separated by tabs:
//
//   exec   FILE LINE SQL            execute(SQL, FILE, LINE)
//   rename TABLE NEWNAME            renameTable()
//   copy   TABLE SOURCE [DROPPED [EXTRA]]
//                                   copyTable(); the step stops when it fails. DROPPED is a
//                                   comma-separated list, EXTRA "name=value,name=value"
//   below  N                        runs the next lines only when version() < N
//   always                          runs the next lines again
//   version                         writes "version N" as a warning
//   tr     SOURCE                   writes "tr TRANSLATION" as a warning
//   debug|warning|critical|info|fatal TEXT
//                                   a message of that type
//   stop                            update() returns false
//
// A step without a section does nothing and succeeds.

#include "updatedata.h"
#include "updateprofile.h"

#include <QFile>
#include <QSqlField>
#include <QSqlRecord>
#include <QTextStream>

static QList<QStringList> scriptOf(const char *step)
{
    QList<QStringList> operations;
    QFile file(QString::fromLocal8Bit(qgetenv("DBUPDATE_SCRIPT")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return operations;

    QTextStream stream(&file);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    stream.setCodec("UTF-8"); // Qt 6 streams read UTF-8 by default
#endif
    const QString header = QLatin1Char('[') + QLatin1String(step) + QLatin1Char(']');
    bool inSection = false;
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (line.startsWith(QLatin1Char('[')))
            inSection = line == header;
        else if (inSection && !line.isEmpty())
            operations.append(line.split(QLatin1Char('\t')));
    }
    return operations;
}

static bool runScript(UpdateBase *step, const char *name)
{
    bool skip = false;
    for (const QStringList &op : scriptOf(name)) {
        const QString command = op.value(0);
        const QByteArray text = op.value(1).toUtf8();
        if (command == QLatin1String("below")) {
            skip = step->version() >= op.value(1).toInt();
        } else if (command == QLatin1String("always")) {
            skip = false;
        } else if (skip) {
            continue;
        } else if (command == QLatin1String("exec")) {
            step->execute(op.value(3), text.constData(), op.value(2).toInt());
        } else if (command == QLatin1String("rename")) {
            step->renameTable(op.value(1), op.value(2));
        } else if (command == QLatin1String("copy")) {
            QStringList dropped;
            if (!op.value(3).isEmpty())
                dropped = op.value(3).split(QLatin1Char(','));
            QSqlRecord extra;
            if (!op.value(4).isEmpty()) {
                for (const QString &pair : op.value(4).split(QLatin1Char(','))) {
                    QSqlField field(pair.section(QLatin1Char('='), 0, 0), QVariant::String);
                    field.setValue(pair.section(QLatin1Char('='), 1));
                    extra.append(field);
                }
            }
            if (!step->copyTable(op.value(1), op.value(2), extra, dropped))
                return false;
        } else if (command == QLatin1String("version")) {
            qWarning("version %d", step->version());
        } else if (command == QLatin1String("tr")) {
            qWarning("tr %s", qUtf8Printable(step->metaObject()->className() == QByteArray("UpdateProfile")
                                                     ? UpdateProfile::tr(text.constData())
                                                     : UpdateData::tr(text.constData())));
        } else if (command == QLatin1String("debug")) {
            qDebug("%s", text.constData());
        } else if (command == QLatin1String("warning")) {
            qWarning("%s", text.constData());
        } else if (command == QLatin1String("critical")) {
            qCritical("%s", text.constData());
        } else if (command == QLatin1String("info")) {
            qInfo("%s", text.constData());
        } else if (command == QLatin1String("fatal")) {
            qFatal("%s", text.constData());
        } else if (command == QLatin1String("stop")) {
            return false;
        }
    }
    return true;
}

UpdateProfile::UpdateProfile(QObject *parent)
    : UpdateBase(QStringLiteral("profile.db"), parent)
{
}

int UpdateProfile::targetVersion() const
{
    return 3;
}

bool UpdateProfile::update()
{
    return runScript(this, "UpdateProfile");
}

UpdateData::UpdateData(QObject *parent)
    : UpdateBase(QStringLiteral("data.db"), parent)
{
}

int UpdateData::targetVersion() const
{
    return 2;
}

bool UpdateData::update()
{
    return runScript(this, "UpdateData");
}
