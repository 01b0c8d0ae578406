#include "runsummary.h"

#include "progress.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QtMessageHandler previousHandler = nullptr;
bool quietMessages = false;
QString lastWarning;

void watchingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        lastWarning = message;
    if (quietMessages && type != QtFatalMsg)
        return;
    Progress::clear();
    if (previousHandler)
        previousHandler(type, context, message);
    else
        fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

RunSummary::RunSummary(const char *mode)
    : m_mode(mode)
{
    m_timer.start();
}

void RunSummary::add(const FileSummary &file)
{
    m_files.append(file);
}

const QList<FileSummary> &RunSummary::files() const
{
    return m_files;
}

void RunSummary::setSnapshot(const QString &directory)
{
    m_snapshot = directory;
}

void RunSummary::setExtra(const QString &key, const QJsonValue &value)
{
    m_extraKey = key;
    m_extra = value;
}

QByteArray RunSummary::toJson(int exitStatus) const
{
    QJsonArray files;
    for (const FileSummary &file : m_files) {
        files.append(QJsonObject{
                {QLatin1String("name"), file.name},
                {QLatin1String("versionBefore"), file.versionBefore},
                {QLatin1String("versionAfter"), file.versionAfter},
                {QLatin1String("status"), file.status},
                {QLatin1String("reason"), textOrNull(file.reason)},
        });
    }
    QJsonObject object{
            {QLatin1String("version"), QLatin1String(DBUPDATE_VERSION)},
            {QLatin1String("mode"), QLatin1String(m_mode)},
            {QLatin1String("exitStatus"), exitStatus},
            {QLatin1String("snapshot"), textOrNull(m_snapshot)},
            {QLatin1String("seconds"), m_timer.elapsed() / 1000.0},
            {QLatin1String("files"), files},
    };
    if (!m_extraKey.isEmpty())
        object.insert(m_extraKey, m_extra);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void RunSummary::watchMessages(bool quiet)
{
    quietMessages = quiet;
    previousHandler = qInstallMessageHandler(watchingHandler);
}

QString RunSummary::takeLastWarning()
{
    const QString text = lastWarning;
    lastWarning.clear();
    return text;
}
