#include "profile_p.h"
#include "tavoglobal.h"

#include <QtSql/qsqlerror.h>
#include <QtSql/qsqlquery.h>

static const char profileConnection[] = "profile.db";

Profile::Profile(QObject *parent)
    : QObject(parent), d(nullptr)
{
    init(QStringLiteral("profile.db"));
}

Profile::Profile(const QString &fileName, QObject *parent)
    : QObject(parent), d(nullptr)
{
    init(fileName);
}

Profile::~Profile()
{
    // The connections stay registered: handles given out earlier must remain usable.
    delete d;
}

Profile &Profile::instance()
{
    static Profile profile;
    return profile;
}

static void warn(const QString &text)
{
    warning(text, QMessageBox::Ok, QMessageBox::NoButton);
}

void Profile::init(const QString &fileName)
{
    d = new ProfilePrivate;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                QLatin1String(profileConnection));
    db.setDatabaseName(fileName);
    if (!db.open())
        warn(tr("无法加载配置文件 %1\n%2").arg(fileName, db.lastError().text()));
    if (db.tables(QSql::Tables).isEmpty())
        warn(tr("错误的配置文件 %1").arg(fileName));

    // The object is not shared yet, so loading takes no lock. A later row of the same name
    // replaces an earlier one.
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("select name, value from profile"))) {
        while (query.next())
            d->cache.insert(query.value(0).toString(), query.value(1));
    }

    static const char *const otherConnections[] = { "data.db", "qc.db", "syslog.db" };
    for (const char *name : otherConnections) {
        const QString connection = QLatin1String(name);
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        other.setDatabaseName(connection);
        if (!other.open())
            warn(tr("无法打开数据库文件 %1").arg(connection));
        if (other.tables(QSql::Tables).isEmpty())
            warn(tr("错误的数据库文件 %1").arg(connection));
    }

    connect(this, SIGNAL(valueChanged(QString,QVariant)), this, SLOT(saveValue(QString,QVariant)),
            Qt::AutoConnection);
    connect(this, SIGNAL(keyRemoved(QString)), this, SLOT(removeKey(QString)), Qt::AutoConnection);
}

QSqlDatabase Profile::database() const
{
    return QSqlDatabase::database(QLatin1String(profileConnection), true);
}

QSqlDatabase Profile::qcDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("qc.db"), true);
}

QSqlDatabase Profile::dataDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("data.db"), true);
}

QSqlDatabase Profile::syslogDatabase() const
{
    return QSqlDatabase::database(QStringLiteral("syslog.db"), true);
}

QVariant Profile::value(const QString &key, const QVariant &defaultValue)
{
    {
        QReadLocker locker(&d->lock);
        const auto it = d->cache.constFind(key);
        if (it != d->cache.constEnd())
            return it->isValid() ? *it : defaultValue;
    }

    // Remember that the key was asked for; another thread may have entered it meanwhile.
    QWriteLocker locker(&d->lock);
    if (!d->cache.contains(key))
        d->cache.insert(key, QVariant());
    return defaultValue;
}

QVariant Profile::value2(const QString &key, const QString &fallbackKey,
                         const QVariant &defaultValue)
{
    const QVariant v = value(key, QVariant());
    if (v.isValid())
        return v;
    return value(fallbackKey, defaultValue);
}

void Profile::setValue(const QString &key, const QVariant &value, bool save)
{
    {
        QWriteLocker locker(&d->lock);
        d->cache.insert(key, value);
    }
    // Emitted outside the lock: a directly connected slot may call back into the store.
    if (save)
        emit valueChanged(key, value);
}

void Profile::remove(const QString &key)
{
    {
        QWriteLocker locker(&d->lock);
        d->cache.remove(key);
    }
    emit keyRemoved(key);
}

QStringList Profile::keys() const
{
    QWriteLocker locker(&d->lock);
    return d->cache.keys();
}

void Profile::saveValue(const QString &key, const QVariant &value)
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(profileConnection), true));
    if (value.isValid()) {
        query.prepare(QStringLiteral("insert or replace into profile (name, value) values(?,?)"));
        query.addBindValue(QVariant(key), QSql::In);
        query.addBindValue(profileStorageValue(value), QSql::In);
    } else {
        query.prepare(QStringLiteral("delete from profile where name = ?"));
        query.addBindValue(QVariant(key), QSql::In);
    }
    query.exec();
}

void Profile::removeKey(const QString &key)
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(profileConnection), true));
    query.prepare(QStringLiteral("delete from profile where name = ?"));
    query.addBindValue(QVariant(key), QSql::In);
    query.exec();
}

QVariant profileStorageValue(const QVariant &value)
{
    if (value.isNull())
        return value;
    switch (value.userType()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::QByteArray:
        return value;
    case QMetaType::Bool:
        return QString(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
    case QMetaType::QColor:
        // Always without alpha: Qt 5 would otherwise write "#aarrggbb".
        return qvariant_cast<QColor>(value).name();
    default:
        return value.toString();
    }
}
