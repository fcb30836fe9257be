#include "app/configuremanager.h"
#include "app/lanaguagemanager.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

using apt::ConfigureManager;
using apt::LanaguageManager;

// The language setting picks the translation files and the locale; the
// files are installed so that the toolkit's overrides Qt's, which overrides
// the tool's. The fixtures translate the text "Shared" differently in
// every file.
class TestLanaguageManager final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    void configWithTranslator(ConfigureManager &config, const QByteArray &value)
    {
        const QString path = m_dir.filePath(QStringLiteral("Setup.xml"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write("<Setup><Translator><Value>" + value + "</Value></Translator></Setup>");
        file.close();
        QVERIFY(config.load(path));
    }

    static QString fixtures() { return QStringLiteral(VOSKTOOL_FIXTURE_DIR "/translations/"); }
    static QString probe(const char *text) { return QCoreApplication::translate("Probe", text); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void languages_data()
    {
        QTest::addColumn<QByteArray>("translator");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("shared");
        QTest::addColumn<QLocale>("locale");
        const QLocale system = QLocale::system();
        QTest::newRow("chinese")
            << QByteArray("1")
            << QStringList{QStringLiteral("vosktool_zh.qm"), QStringLiteral("qt_zh_CN.qm"),
                           QStringLiteral("TarnGUIToolkit_zh.qm")}
            << QStringLiteral("toolkit-zh") << QLocale(QLocale::Chinese, QLocale::China);
        QTest::newRow("english")
            << QByteArray("0")
            << QStringList{QStringLiteral("vosktool_en.qm"), QStringLiteral("DeviceMonitor_en.qm")}
            << QStringLiteral("third-en") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("empty means english")
            << QByteArray("")
            << QStringList{QStringLiteral("vosktool_en.qm"), QStringLiteral("DeviceMonitor_en.qm")}
            << QStringLiteral("third-en") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("font-only code") << QByteArray("9") << QStringList() << QStringLiteral("Shared") << system;
    }
    void languages()
    {
        QFETCH(QByteArray, translator);
        QFETCH(QStringList, files);
        QFETCH(QString, shared);
        QFETCH(QLocale, locale);

        ConfigureManager config;
        configWithTranslator(config, translator);
        {
            const LanaguageManager manager(config, fixtures());
            QStringList expected;
            for (const QString &file : files)
                expected.append(fixtures() + file);
            QCOMPARE(manager.translatorFiles(), expected);
            QCOMPARE(manager.loadedFiles(), expected);
            QCOMPARE(manager.locale(), locale);
            QCOMPARE(probe("Shared"), shared);
            // Texts found in one file only come from that file.
            for (const QString &file : files) {
                const QByteArray only = "Only " + file.chopped(3).toUtf8();
                QVERIFY2(probe(only.constData()).endsWith(QLatin1String(" only")), only.constData());
            }
        }
        // The manager takes its translators with it.
        QCOMPARE(probe("Shared"), QStringLiteral("Shared"));
    }

    void missingFilesLeaveSourceTexts()
    {
        ConfigureManager config;
        configWithTranslator(config, "1");
        const LanaguageManager manager(config, m_dir.filePath(QStringLiteral("nowhere/")));
        QCOMPARE(manager.translatorFiles().size(), 3);
        QVERIFY(manager.loadedFiles().isEmpty());
        QCOMPARE(manager.language(), 1);
        QCOMPARE(probe("Shared"), QStringLiteral("Shared"));
    }

    // The files the build puts beside the program all load, Qt's own
    // Chinese file with the module file it names.
    void builtChineseFilesLoad()
    {
        ConfigureManager config;
        configWithTranslator(config, "1");
        const LanaguageManager manager(config, QStringLiteral(VOSKTOOL_RUNTIME_DIR "/translations/"));
        QCOMPARE(manager.loadedFiles(), manager.translatorFiles());
        QCOMPARE(manager.loadedFiles().size(), 3);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    }
};

QTEST_GUILESS_MAIN(TestLanaguageManager)
#include "tst_lanaguagemanager.moc"
