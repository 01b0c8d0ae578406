#ifndef RUNSUMMARY_H
#define RUNSUMMARY_H

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QString>

// What a run did to each file, printed by --json as one object on standard output.
struct FileSummary
{
    QString name;
    QJsonValue versionBefore; // null: no version
    QJsonValue versionAfter;
    QString status; // "upgraded", "up to date", "will be upgraded", "would be refused", ...
    QString reason; // empty: none
};

class RunSummary
{
public:
    explicit RunSummary(const char *mode);

    void add(const FileSummary &file);
    const QList<FileSummary> &files() const;
    void setSnapshot(const QString &directory);
    void setExtra(const QString &key, const QJsonValue &value);

    // The object, on one line.
    QByteArray toJson(int exitStatus) const;

    // Passes every message on to the handler installed before, or drops it when quiet, and
    // keeps the last warning of the run as the reason of a refusal.
    static void watchMessages(bool quiet);
    static QString takeLastWarning();

private:
    const char *m_mode;
    QString m_snapshot;
    QString m_extraKey;
    QJsonValue m_extra;
    QList<FileSummary> m_files;
    QElapsedTimer m_timer;
};

#endif // RUNSUMMARY_H
