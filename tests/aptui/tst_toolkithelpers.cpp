#include "aptui/cfile.h"
#include "aptui/guitextcodec.h"
#include "aptui/targetpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

using namespace TarnGUIToolkit;

// The program's folder, the start-up codec and whole-file reads.
class TestToolkitHelpers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void targetPath()
    {
        const QString programFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
        QCOMPARE(GetTargetPath(), programFolder);
        QCOMPARE(GetTargetPathFile(QStringLiteral("Setup.xml")), programFolder + QStringLiteral("Setup.xml"));
        SetTargetPath(QStringLiteral("/opt/vosk"));
        QCOMPARE(GetTargetPath() + QStringLiteral("translations/"), QStringLiteral("/opt/vosk/translations/"));
        SetTargetPath(QString());
        QCOMPARE(GetTargetPath(), programFolder);
    }

    void convertFromUnicode()
    {
        QTextCodec *gbk = QTextCodec::codecForName("GB2312");
        QVERIFY(gbk);
        const QString chinese = QStringLiteral("中文");
        // An explicit codec wins; without one the start-up codec is used.
        QCOMPARE(ConvertFromUnicode(chinese, gbk), QByteArray("\xd6\xd0\xce\xc4"));
        InitGuiTextCodec(QTextCodec::codecForName("UTF-8"));
        QCOMPARE(ConvertFromUnicode(chinese), chinese.toUtf8());
        InitGuiTextCodec(gbk);
        QCOMPARE(ConvertFromUnicode(chinese), QByteArray("\xd6\xd0\xce\xc4"));
        InitGuiTextCodec(nullptr); // ignored
        QCOMPARE(GuiTextCodec(), gbk);
        QCOMPARE(ConvertFromUnicode(QStringLiteral("admin12345")), QByteArray("admin12345"));

        InitGuiLocale(QLocale(QLocale::Chinese, QLocale::China));
        QCOMPARE(GuiLocale(), QLocale(QLocale::Chinese, QLocale::China));
    }

    void readAll()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char *name : {"a.qss", "b.qss"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("/* ") + name + " ü */\n");
        }
        QCOMPARE(CFile::ReadAll(dir.filePath(QStringLiteral("a.qss"))), QStringLiteral("/* a.qss ü */\n"));
        // Listed order, missing files skipped.
        QCOMPARE(CFile::ReadAll({QStringLiteral("b.qss"), QStringLiteral("gone.qss"), QStringLiteral("a.qss")},
                                dir.path()),
                 QStringLiteral("/* b.qss ü */\n/* a.qss ü */\n"));
        QVERIFY(CFile::ReadAll(dir.filePath(QStringLiteral("gone.qss"))).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestToolkitHelpers)
#include "tst_toolkithelpers.moc"
