// The recovery's files and blocks without a device: key file names, the
// answer copy, the reset block's fields, the restore QR text and the choice
// of dialog.

#include "password/recoverydialogs.h"
#include "operations/recoveryfiles.h"
#include "password/restorepassworddialog.h"
#include "tools/devsim/simdevice.h"
#include "vosk/vosk.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace VoskTool;

class TestRecoveryFiles final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(content);
        return file.fileName();
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private Q_SLOTS:
    void keyFileName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "/k" << "ABC123" << "/k/ABC123-202612061020.xml";
        QTest::newRow("folder with slash") << "/k/" << "ABC123" << "/k/ABC123-202612061020.xml";
        QTest::newRow("windows folder") << "C:\\VoskReset\\" << "X" << "C:\\VoskReset\\X-202612061020.xml";
        QTest::newRow("slash and backslash") << "/k" << "VS/12\\3" << "/k/VS%2F12%5C3-202612061020.xml";
    }
    void keyFileName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, serial);
        QFETCH(QString, expected);
        const QDateTime when(QDate(2026, 12, 6), QTime(10, 20, 59));
        QCOMPARE(deviceKeyFileName(folder, serial, when), expected);
    }

    void answerCopy_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("CR LF pairs at the end") << QByteArray("<a>\r\nRA1.abcdefghijklmnop\r\n\r\n\r\n")
                                                << QByteArray("<a>\r\nRA1.abcdefghijklmnop");
        QTest::newRow("no line end") << QByteArray("RA1.abcdefghijklmnop") << QByteArray("RA1.abcdefghijklmnop");
        QTest::newRow("lone LF and CR") << QByteArray("RA1.abcdefghijklmnop\n\r\n\r")
                                        << QByteArray("RA1.abcdefghijklmnop");
    }
    void answerCopy()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        const QString source = writeFile(QStringLiteral("answer.xml"), content);
        const QString target = m_dir.filePath(QStringLiteral("copy.xml"));
        writeFile(QStringLiteral("copy.xml"), "an older copy, longer than any new one");
        QCOMPARE(makeAnswerCopy(source, target), AnswerCopy::Made);
        QCOMPARE(readFile(target), expected);
        // A reset secret: the owner's alone.
        QCOMPARE(QFile::permissions(target) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup
                                               | QFile::WriteOther | QFile::ExeOther | QFile::ExeGroup),
                 QFile::Permissions());
    }

    void answerCopyFailures()
    {
        const QString target = m_dir.filePath(QStringLiteral("copy.xml"));
        writeFile(QStringLiteral("copy.xml"), "stale");
        QCOMPARE(makeAnswerCopy(m_dir.filePath(QStringLiteral("missing.xml")), target),
                 AnswerCopy::SourceUnreadable);
        // No stale copy stays behind to be sent instead.
        QVERIFY(!QFile::exists(target));
        const QString source = writeFile(QStringLiteral("answer.xml"), "RA1.abcdefghijklmnop");
        QCOMPARE(makeAnswerCopy(source, m_dir.filePath(QStringLiteral("no/such/folder/copy.xml"))),
                 AnswerCopy::TargetUnwritable);
    }

    void resetBlock_data()
    {
        QTest::addColumn<int>("keyLength");
        QTest::addColumn<int>("pathLength");
        QTest::addColumn<int>("passwordLength");
        QTest::addColumn<bool>("cameras");
        QTest::addColumn<int>("expected");
        QTest::newRow("key that fills its field") << 256 << 0 << 16 << false << int(ResetBlockCheck::Ok);
        QTest::newRow("key one byte over") << 257 << 0 << 8 << false << int(ResetBlockCheck::KeyTooLong);
        QTest::newRow("path that fills its field") << 0 << 260 << 8 << true << int(ResetBlockCheck::Ok);
        QTest::newRow("path one byte over") << 0 << 261 << 8 << false << int(ResetBlockCheck::PathTooLong);
        QTest::newRow("password over 16") << 4 << 0 << 17 << false << int(ResetBlockCheck::PasswordTooLong);
    }
    void resetBlock()
    {
        QFETCH(int, keyLength);
        QFETCH(int, pathLength);
        QFETCH(int, passwordLength);
        QFETCH(bool, cameras);
        QFETCH(int, expected);
        const QString key(keyLength, QLatin1Char('k'));
        const QString path(pathLength, QLatin1Char('p'));
        const QByteArray password(passwordLength, 'w');
        ResetPasswdParam block;
        std::memset(&block, 0x5a, sizeof block);
        QCOMPARE(int(fillResetBlock(&block, key, path, password, cameras)), expected);
        const auto *bytes = reinterpret_cast<const char *>(&block);
        if (expected != int(ResetBlockCheck::Ok)) {
            // Refused, never cut: nothing of the texts is left behind.
            QCOMPARE(QByteArray(bytes, sizeof block).count('\0'), qsizetype(sizeof block));
            return;
        }
        QCOMPARE(QByteArray(bytes, keyLength), key.toLatin1());
        QCOMPARE(QByteArray(bytes + 256, pathLength), path.toLatin1());
        QCOMPARE(QByteArray(bytes + 516, passwordLength), password);
        QCOMPARE(int(bytes[532]), cameras ? 1 : 0);
        // Zero fill everywhere else ends the texts.
        QCOMPARE(QByteArray(bytes + keyLength, 256 - keyLength).count('\0'), qsizetype(256 - keyLength));
        QCOMPARE(QByteArray(bytes + 533, 511).count('\0'), qsizetype(511));
    }

    void restoreQrText_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no prefix: whole serial") << "VC-7720Z" << "VC-7720Z000100003"
                                                 << "A:VC-7720Z**VC-7720Z000100003";
        QTest::newRow("prefix, type begins serial") << "VC-2120A" << "VC-2120A000100004" << "A:VC-2120A**000100004";
        QTest::newRow("prefix, type not in serial") << "VC-2120A" << "VS0000100005" << "A:VC-2120A**VS0000100005";
        QTest::newRow("prefix inside the type, type twice") << "XVR-5108N" << "XVR-5108N1XVR-5108N2"
                                                           << "A:XVR-5108N**12";
        QTest::newRow("letter case counts") << "vc-2120a" << "vc-2120a1" << "A:vc-2120a**vc-2120a1";
        QTest::newRow("empty type") << "" << "VS1" << "A:**VS1";
    }
    void restoreQrText()
    {
        QFETCH(QString, type);
        QFETCH(QString, serial);
        QFETCH(QString, expected);
        QCOMPARE(RestorePasswordDialog::qrTextFor(type, serial), expected);
    }

    void prefixTable()
    {
        const QStringList prefixes = RestorePasswordDialog::modelPrefixes();
        QCOMPARE(prefixes.size(), 17);
        static const QRegularExpression shape(QStringLiteral("^[A-Z]{2}-[0-9]{2}$"));
        for (const QString &prefix : prefixes)
            QVERIFY2(shape.match(prefix).hasMatch(), qPrintable(prefix));
        QCOMPARE(QSet<QString>(prefixes.begin(), prefixes.end()).size(), 17);
    }

    // The demo fleet of ./run.sh shows both forms of the restore QR text,
    // and devices with and without a model prefix.
    void demoFleetShowsEveryRestoreForm()
    {
        QSet<QString> forms;
        for (int i = 0; i < 16; ++i) {
            const VoskNet::WireRecord r = VoskSim::SimDevice::generate(1, i, "Admin12345").record();
            if (r.capabilities & VOSK_CAP_KEY_RESET)
                continue;
            const QString type = QString::fromLatin1(r.deviceDescription);
            const QString serial = QString::fromLatin1(r.serialNumber);
            const bool prefixed = RestorePasswordDialog::qrTextFor(type, QStringLiteral("#"))
                != RestorePasswordDialog::qrTextFor(type, QStringLiteral("#") + type);
            const bool shortened = !RestorePasswordDialog::qrTextFor(type, serial).endsWith(serial);
            forms << (prefixed ? QStringLiteral("prefix") : QStringLiteral("no prefix"));
            forms << (shortened ? QStringLiteral("shortened") : QStringLiteral("whole"));
        }
        QCOMPARE(forms.size(), 4);
    }

    void dialogChoice_data()
    {
        QTest::addColumn<int>("capabilities");
        QTest::addColumn<bool>("reset");
        QTest::newRow("zero record (device gone)") << 0 << false;
        QTest::newRow("key reset") << int(VOSK_CAP_KEY_RESET) << true;
        QTest::newRow("key reset with cameras") << int(VOSK_CAP_KEY_RESET | VOSK_CAP_RESET_CAMERAS) << true;
        QTest::newRow("cameras bit alone") << int(VOSK_CAP_RESET_CAMERAS | VOSK_CAP_DHCP) << false;
    }
    void dialogChoice()
    {
        QFETCH(int, capabilities);
        QFETCH(bool, reset);
        QCOMPARE(recoveryDialogFor(quint8(capabilities)) == RecoveryDialog::ResetWithKey, reset);
    }
};

QTEST_MAIN(TestRecoveryFiles)
#include "tst_recoveryfiles.moc"
