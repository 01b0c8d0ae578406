#include <QtTest>

#include <QtCore/qprocess.h>
#include <QtCore/qtemporarydir.h>
#include <QtCore/qtranslator.h>
#include <QtCore/qxmlstream.h>

// (context, source text) -> translation; a missing or unfinished translation maps to a null string.
typedef QMap<QPair<QString, QString>, QString> Catalogue;

static Catalogue readTs(const QString &fileName)
{
    Catalogue catalogue;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return catalogue;
    QXmlStreamReader xml(&file);
    QString context, source, translation;
    bool finished = true;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                finished = xml.attributes().value(QLatin1String("type")).isEmpty();
                translation = xml.readElementText();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            catalogue.insert(qMakePair(context, source), finished ? translation : QString());
            source.clear();
            translation.clear();
        }
    }
    return catalogue;
}

class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void everyTextTranslated_data();
    void everyTextTranslated();
    void compiledCatalogues();
};

void tst_Translations::everyTextTranslated_data()
{
    QTest::addColumn<QString>("sources");
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<int>("atLeast");
    QTest::newRow("Core") << "core" << "translations/core_en.ts" << 20;
    QTest::newRow("dbupdate") << "dbupdate" << "translations/dbupdate_en.ts" << 9;
}

// The texts come from scanning the sources now, so a text added without a translation fails here.
void tst_Translations::everyTextTranslated()
{
    QFETCH(QString, sources);
    QFETCH(QString, catalogue);
    QFETCH(int, atLeast);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString scanned = dir.filePath(QStringLiteral("scan.ts"));
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    lupdate.start(QStringLiteral(LUPDATE),
                  { QStringLiteral("-silent"), QStringLiteral("-no-obsolete"),
                    QStringLiteral("-extensions"), QStringLiteral("cpp,h"),
                    QStringLiteral(SOURCE_DIR "/") + sources, QStringLiteral("-ts"), scanned });
    QVERIFY(lupdate.waitForFinished(120000));
    QCOMPARE(lupdate.exitCode(), 0);

    const Catalogue found = readTs(scanned);
    const Catalogue english = readTs(QStringLiteral(SOURCE_DIR "/") + catalogue);
    QVERIFY2(found.size() >= atLeast, qPrintable(QString::number(found.size())));
    QStringList untranslated;
    for (auto it = found.constBegin(); it != found.constEnd(); ++it) {
        if (english.value(it.key()).isEmpty())
            untranslated << it.key().first + QLatin1String(": ") + it.key().second;
    }
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(QLatin1Char('\n'))));
}

void tst_Translations::compiledCatalogues()
{
    QTranslator core;
    QVERIFY(core.load(QStringLiteral(CORE_QM)));
    QCOMPARE(core.translate("Profile", "不凝"), QString("No clot"));
    QCOMPARE(core.translate("Profile", "错误的配置文件 %1"), QString("Wrong configuration file %1"));
    QCOMPARE(core.translate("QObject", "无标准曲线"), QString("No standard curve"));
    QCOMPARE(core.translate("PropertyItemModel", "值"), QString("Value"));

    QTranslator dbupdate;
    QVERIFY(dbupdate.load(QStringLiteral(DBUPDATE_QM)));
    QVERIFY(!dbupdate.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Translations)
#include "tst_translations.moc"
