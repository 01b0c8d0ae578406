#include "snapshotstore.h"

#include "runsummary.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <algorithm>
#include <cstdio>

namespace {

const QRegularExpression &stampPattern()
{
    static const QRegularExpression pattern(
            QStringLiteral("^(\\d{8}T\\d{6}Z)(?:-(\\d+))?$"));
    return pattern;
}

// Same second, later run: "-2" after the plain stamp, "-10" after "-9".
bool newerFirst(const QString &a, const QString &b)
{
    const QRegularExpressionMatch ma = stampPattern().match(a);
    const QRegularExpressionMatch mb = stampPattern().match(b);
    if (ma.captured(1) != mb.captured(1))
        return ma.captured(1) > mb.captured(1);
    return ma.captured(2).toInt() > mb.captured(2).toInt();
}

} // namespace

QString snapshotRoot()
{
    return QStringLiteral("dbupdate-backup");
}

QString snapshotDirectory(const QString &stamp)
{
    return snapshotRoot() + QLatin1Char('/') + stamp;
}

QString snapshotStamp(const QDateTime &start)
{
    return start.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QStringList snapshotStamps()
{
    QStringList stamps;
    const QStringList names = QDir(snapshotRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (stampPattern().match(name).hasMatch())
            stamps.append(name);
    }
    std::sort(stamps.begin(), stamps.end(), newerFirst);
    return stamps;
}

bool readManifest(const QString &stamp, SnapshotManifest *manifest, QString *error)
{
    QFile file(snapshotDirectory(stamp) + QLatin1String("/manifest.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.fileName() + QLatin1String(": ") + file.errorString();
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonObject object = document.object();
    if (document.isNull() || !object.value(QLatin1String("files")).isArray()) {
        *error = file.fileName() + QLatin1String(": not a manifest");
        return false;
    }
    manifest->program = object.value(QLatin1String("program")).toString();
    manifest->version = object.value(QLatin1String("version")).toString();
    manifest->time = object.value(QLatin1String("time")).toString();
    manifest->files.clear();
    for (const QJsonValue &value : object.value(QLatin1String("files")).toArray()) {
        const QJsonObject entry = value.toObject();
        SnapshotFile snapshotFile;
        snapshotFile.name = entry.value(QLatin1String("name")).toString();
        snapshotFile.size = qint64(entry.value(QLatin1String("size")).toDouble(-1));
        snapshotFile.sha256 = entry.value(QLatin1String("sha256")).toString().toLatin1();
        snapshotFile.version = entry.value(QLatin1String("version"));
        // The names are put back in the data directory: a plain file name, nothing else.
        if (snapshotFile.name.isEmpty() || snapshotFile.name.contains(QLatin1Char('/'))
            || snapshotFile.name.contains(QLatin1Char('\\'))
            || snapshotFile.name.startsWith(QLatin1Char('.')) || snapshotFile.sha256.size() != 64) {
            *error = file.fileName() + QLatin1String(": a file entry does not hold together");
            return false;
        }
        manifest->files.append(snapshotFile);
    }
    return true;
}

bool writeManifest(const QString &stamp, const SnapshotManifest &manifest, QString *error)
{
    QJsonArray files;
    for (const SnapshotFile &snapshotFile : manifest.files) {
        files.append(QJsonObject{
                {QLatin1String("name"), snapshotFile.name},
                {QLatin1String("size"), double(snapshotFile.size)},
                {QLatin1String("sha256"), QString::fromLatin1(snapshotFile.sha256)},
                {QLatin1String("version"), snapshotFile.version},
        });
    }
    const QJsonObject object{
            {QLatin1String("program"), manifest.program},
            {QLatin1String("version"), manifest.version},
            {QLatin1String("time"), manifest.time},
            {QLatin1String("files"), files},
    };
    // Written beside and renamed, so that a manifest is always whole.
    QSaveFile file(snapshotDirectory(stamp) + QLatin1String("/manifest.json"));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QJsonDocument(object).toJson()) < 0 || !file.commit()) {
        *error = file.fileName() + QLatin1String(": ") + file.errorString();
        return false;
    }
    return true;
}

QString snapshotSpaceProblem(const QString &fileName)
{
    // A copy made inside SQLite is at most as large as the file.
    const qint64 needed = QFileInfo(fileName).size();
    const QStorageInfo storage(QFileInfo::exists(snapshotRoot()) ? snapshotRoot()
                                                                 : QStringLiteral("."));
    if (!storage.isValid() || storage.bytesAvailable() >= needed)
        return QString();
    return QStringLiteral("%1 bytes free on the disk, %2 needed")
            .arg(storage.bytesAvailable())
            .arg(needed);
}

void pruneSnapshots(int keep)
{
    const QStringList stamps = snapshotStamps();
    for (int i = keep; i < stamps.size(); ++i) {
        if (!QDir(snapshotDirectory(stamps.at(i))).removeRecursively())
            qWarning("The old snapshot %s could not be removed completely",
                     qUtf8Printable(snapshotDirectory(stamps.at(i))));
    }
}

int listSnapshots(RunSummary *summary)
{
    QJsonArray snapshots;
    for (const QString &stamp : snapshotStamps()) {
        SnapshotManifest manifest;
        QString error;
        if (!readManifest(stamp, &manifest, &error)) {
            printf("%s  incomplete: %s\n", qPrintable(stamp), qPrintable(error));
            continue;
        }
        printf("%s\n", qPrintable(stamp));
        QJsonArray files;
        for (const SnapshotFile &file : manifest.files) {
            files.append(QJsonObject{{QLatin1String("name"), file.name},
                                     {QLatin1String("version"), file.version},
                                     {QLatin1String("size"), double(file.size)}});
            printf("  %-12s version %-4s %lld bytes\n", qPrintable(file.name),
                   file.version.isDouble() ? qPrintable(QString::number(file.version.toInt()))
                                           : "none",
                   static_cast<long long>(file.size));
        }
        snapshots.append(QJsonObject{{QLatin1String("stamp"), stamp},
                                     {QLatin1String("directory"), snapshotDirectory(stamp)},
                                     {QLatin1String("files"), files}});
    }
    fflush(stdout);
    summary->setExtra(QStringLiteral("snapshots"), snapshots);
    return 0;
}
