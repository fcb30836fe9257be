#include "app/configuremanager.h"

#include <QTemporaryDir>
#include <QTest>

using apt::ConfigureManager;

// Setup.xml as the technician edits it: the settings and their defaults.
class TestConfigureManager final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(content);
        return path;
    }

    static QByteArray setting(const QByteArray &key, const QByteArray &value)
    {
        return "<" + key + "><Value>" + value + "</Value></" + key + ">";
    }

    static QByteArray setup(const QByteArray &children)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Setup>" + children + "</Setup>\n";
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void translator_data()
    {
        QTest::addColumn<QByteArray>("children");
        QTest::addColumn<uint>("translator");
        QTest::newRow("chinese") << setting("Translator", "1") << 1U;
        QTest::newRow("absent") << setting("Skin", "CommonSkin") << 0U;
        QTest::newRow("font-only code") << setting("Translator", "9") << 9U;
        QTest::newRow("not a number") << setting("Translator", "zh") << 0U;
        QTest::newRow("spaces around") << QByteArray("<Translator><Value>\n  1\n</Value></Translator>") << 1U;
        QTest::newRow("key is case-sensitive") << setting("translator", "1") << 0U;
        QTest::newRow("first wins") << setting("Translator", "1") + setting("Translator", "0") << 1U;
        QTest::newRow("no Value child") << QByteArray("<Translator>1</Translator>") << 0U;
    }
    void translator()
    {
        QFETCH(QByteArray, children);
        QFETCH(uint, translator);
        ConfigureManager config;
        QVERIFY(config.load(write(QStringLiteral("Setup.xml"), setup(children))));
        QCOMPARE(config.getTranslator(), translator);
    }

    void filter_data()
    {
        QTest::addColumn<QByteArray>("children");
        QTest::addColumn<bool>("filter");
        QTest::newRow("1") << setting("Filter", "1") << true;
        QTest::newRow("01") << setting("Filter", "01") << true;
        QTest::newRow("true") << setting("Filter", "true") << false;
        QTest::newRow("0") << setting("Filter", "0") << false;
        QTest::newRow("2") << setting("Filter", "2") << false;
        QTest::newRow("absent") << QByteArray() << false;
    }
    void filter()
    {
        QFETCH(QByteArray, children);
        QFETCH(bool, filter);
        ConfigureManager config;
        QVERIFY(config.load(write(QStringLiteral("Setup.xml"), setup(children))));
        QCOMPARE(config.getFilter(), filter);
    }

    void otherKeys()
    {
        ConfigureManager config;
        QVERIFY(config.load(write(QStringLiteral("Setup.xml"),
                                  setup(setting("Languages", "0,1,9") + setting("Skin", "NightSkin")
                                        + setting("Skin", "CommonSkin") + setting("VersionType", "-1")
                                        + setting("PingThread", "4") + setting("Unknown", "x")))));
        QCOMPARE(config.getLanguages(), (QList<unsigned int>{0, 1, 9}));
        QCOMPARE(config.getStringValue(apt::Skin, QStringLiteral("CommonSkin")), QStringLiteral("NightSkin"));
        QCOMPARE(config.getVersionType(), 1);
        QCOMPARE(config.getPingThread(), 4);
        QCOMPARE(config.getTaskThread(), -1);
        QCOMPARE(config.getLogSaveDay(), -1);
        // Unknown entries are kept, in file order, but no key reaches them.
        QCOMPARE(int(config.entries().size()), 6);
        QCOMPARE(config.entries().back()->name(), QStringLiteral("Unknown"));
        QVERIFY(!config.find(42));
        QCOMPARE(config.getIntValue(-1), -1);
    }

    void languages_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QList<unsigned int>>("codes");
        QTest::newRow("three") << QByteArray("0,1,9") << QList<unsigned int>{0, 1, 9};
        QTest::newRow("spaces") << QByteArray(" 1 , 10 ") << QList<unsigned int>{1, 10};
        QTest::newRow("empty and wrong parts read as 0") << QByteArray("1,,zh") << QList<unsigned int>{1, 0, 0};
        QTest::newRow("empty value") << QByteArray("") << QList<unsigned int>{};
    }
    void languages()
    {
        QFETCH(QByteArray, value);
        QFETCH(QList<unsigned int>, codes);
        ConfigureManager config;
        QVERIFY(config.load(write(QStringLiteral("Setup.xml"), setup(setting("Languages", value)))));
        QCOMPARE(config.getLanguages(), codes);
    }

    void defaultsWithoutFile()
    {
        ConfigureManager config;
        QVERIFY(!config.load(m_dir.filePath(QStringLiteral("missing.xml"))));
        QCOMPARE(config.getTranslator(), 0U);
        QVERIFY(config.getLanguages().isEmpty());
        QCOMPARE(config.getVersionType(), 1);
        QVERIFY(!config.getFilter());
        QCOMPARE(config.getStringValue(apt::Skin, QStringLiteral("CommonSkin")), QStringLiteral("CommonSkin"));
        QVERIFY(config.path().isEmpty());
    }

    void malformedFileEmptiesTheStoreAndKeepsThePath_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("unclosed") << QByteArray("<Setup><Translator><Value>1</Value></Setup>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("Translator=1\n");
        QTest::newRow("two roots") << QByteArray("<a/><b/>");
    }
    void malformedFileEmptiesTheStoreAndKeepsThePath()
    {
        QFETCH(QByteArray, content);
        ConfigureManager config;
        const QString good = write(QStringLiteral("good.xml"), setup(setting("Translator", "1")));
        QVERIFY(config.load(good));
        QCOMPARE(config.getTranslator(), 1U);

        QVERIFY(!config.load(write(QStringLiteral("bad.xml"), content)));
        QVERIFY(config.entries().empty());
        QCOMPARE(config.getTranslator(), 0U);
        QCOMPARE(config.path(), good);
    }

    // Entries are read in one pass: a long file (here 200 000 settings)
    // loads in order, and does not stall start-up.
    void longFileLoadsInOrder()
    {
        QByteArray children;
        const int count = 200000;
        for (int i = 0; i < count; ++i)
            children += "<K" + QByteArray::number(i) + "/>";
        children += setting("Translator", "1");
        ConfigureManager config;
        QVERIFY(config.load(write(QStringLiteral("long.xml"), setup(children))));
        QCOMPARE(int(config.entries().size()), count + 1);
        QCOMPARE(config.entries()[12345]->name(), QStringLiteral("K12345"));
        QCOMPARE(config.getTranslator(), 1U);
    }

    void shippedDefault()
    {
        ConfigureManager config;
        QVERIFY(config.load(QFINDTESTDATA("../../app/Setup.xml")));
        QCOMPARE(config.getTranslator(), 0U);
        QVERIFY(!config.getFilter());
        QCOMPARE(config.getStringValue(apt::Skin), QStringLiteral("CommonSkin"));
    }
};

QTEST_GUILESS_MAIN(TestConfigureManager)
#include "tst_configuremanager.moc"
