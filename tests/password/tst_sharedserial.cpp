// Password recovery of a device whose serial number another device
// announces too: simulators whose seeds lie 1000 apart give device 0 the
// same serial number with another MAC and key. The reset dialog, the
// restore dialog and the batch reset each reach the device chosen by its
// MAC; the other one is never asked (its simulator writes no state).

#include "discovery/devicestore.h"
#include "discovery/voskhandler.h"
#include "operations/recoveryfiles.h"
#include "password/batchreset.h"
#include "password/recoverydialogs.h"
#include "password/recoveryui.h"
#include "password/resetpassworddialog.h"
#include "password/restorepassworddialog.h"
#include "aptui/basedialog.h"
#include "aptui/targetpath.h"
#include "tests/support/modaldriver.h"
#include "tests/support/tablepage.h"
#include "tests/vosk/voskfixture.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace VoskTest;
using namespace VoskTool;
using VoskNet::WireRecord;

namespace {

const QByteArray kAdminPassword = QByteArrayLiteral("Admin12345");

WireRecord device0(quint64 seed)
{
    return fleet(seed, 1).front().record();
}

DeviceKey keyOf(const WireRecord &r)
{
    return {QString::fromLatin1(r.serialNumber), QString::fromLatin1(r.mac)};
}

// The first seed from `from` whose device 0 shares its serial number with
// that of the seed 1000 further, both activated, the further one offering
// the key reset or not.
quint64 pairSeed(quint64 from, bool keyReset)
{
    for (quint64 seed = from; seed < from + 400; ++seed) {
        const WireRecord a = device0(seed);
        const WireRecord b = device0(seed + 1000);
        if (a.serialNumber == b.serialNumber && a.mac != b.mac && !a.notActivated && !b.notActivated
            && bool(b.capabilities & VOSK_CAP_KEY_RESET) == keyReset)
            return seed;
    }
    return 0;
}

// Whether the device takes `password` now, asked of it alone.
bool passwordWorks(const WireRecord &r, const QByteArray &password)
{
    VOSK_NET_PARAM param = netParam(r.ipv4Address.constData(), r.ipv4Mask.constData(), r.ipv4Gateway.constData(),
                                    r.port);
    param.dhcpEnabled = r.dhcpEnabled;
    param.httpPort = r.httpPort ? r.httpPort : 80;
    return VOSK::VoskHandler::instance()->modifyDeviceNetParam(keyOf(r), password, &param);
}

void confirm(QDialog *dialog)
{
    static_cast<aptui::BaseDialog *>(dialog)->confirmButton()->click();
}

} // namespace

class TestSharedSerial final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Devsim m_sims[4];
    quint64 m_keySeed = 0;     // its pair: the chosen device offers the key reset
    quint64 m_restoreSeed = 0; // its pair: the chosen device does not
    std::unique_ptr<QWidget> m_host;
    DeviceDisplayPage *m_page = nullptr;
    QStringList m_hints;
    QStringList m_messages;

    // State file of the simulator of device 0 of `seed`; it exists once
    // the device changed anything (a password, an issued reset key).
    QString statePath(quint64 seed) const { return m_dir.filePath(QStringLiteral("state-%1.json").arg(seed)); }
    QString lastHint() const { return m_hints.isEmpty() ? QString() : m_hints.constLast(); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        pinToLoopback(47282, "239.255.86.182");
        m_keySeed = pairSeed(1, true);
        QVERIFY(m_keySeed);
        m_restoreSeed = pairSeed(m_keySeed + 1, false);
        QVERIFY(m_restoreSeed);
        QVERIFY(device0(m_keySeed).serialNumber != device0(m_restoreSeed).serialNumber);

        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("home")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("program")));
        qputenv("HOME", m_dir.filePath(QStringLiteral("home")).toLocal8Bit());
        TarnGUIToolkit::SetTargetPath(m_dir.filePath(QStringLiteral("program")));
        RecoveryUi::setHintPresenter([this](const RecoveryUi::Hint &hint) { m_hints << hint.text; });
        RecoveryUi::setMessageBox([this](QWidget *, const QString &, const QString &text) { m_messages << text; });
        RecoveryUi::setFolderMessageBox(
            [this](QWidget *, const QString &, const QString &text, const QString &) { m_messages << text; });

        m_host = std::make_unique<QWidget>();
        m_page = TestSupport::listeningTablePage(m_dir, QStringLiteral(VOSKTOOL_SHIPPED_COLUMN_CONFIG), m_host.get());
        QVERIFY(m_page);
        const quint64 seeds[] = {m_keySeed, m_keySeed + 1000, m_restoreSeed, m_restoreSeed + 1000};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(m_sims[i].start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                                     QString::number(seeds[i]), QStringLiteral("--state"), statePath(seeds[i])}));
        }
        QVERIFY(VOSK::VoskHandler::instance()->start());
        QTRY_COMPARE_WITH_TIMEOUT(DeviceStore::instance()->count(), 4, 30000);
    }

    void cleanupTestCase()
    {
        VOSK::VoskHandler::instance()->stop();
        for (Devsim &sim : m_sims)
            sim.stop();
        m_host.reset();
    }

    void init()
    {
        m_hints.clear();
        m_messages.clear();
    }

    // The QR code carries the chosen device's key; the service's answer
    // resets that device.
    void resetDialog()
    {
        const WireRecord chosen = device0(m_keySeed + 1000);
        QString answered;
        TestSupport::onModal([&](QDialog *dialog) {
            auto *reset = qobject_cast<ResetPasswordDialog *>(dialog);
            if (!reset)
                return;
            reset->findChild<QPushButton *>(QStringLiteral("m_btnQRcode"))->click();
            QByteArray qr = reset->qrText().toLatin1();
            const QStringList fileAnswer = qr.startsWith("B:")
                ? QStringList{QStringLiteral("--out"), m_dir.filePath(QStringLiteral("answer.xml"))}
                : QStringList{};
            const QByteArray answer = resetService(QStringList{QStringLiteral("answer"), QStringLiteral("--qr"),
                                                               QString::fromLatin1(qr)} + fileAnswer);
            answered = fileAnswer.isEmpty() ? QString::fromLatin1(answer) : fileAnswer.last();
            reset->findChild<QLineEdit *>(QStringLiteral("m_lineEditFilePath"))->setText(answered);
            reset->findChild<QLineEdit *>(QStringLiteral("m_lineEditNewPassword"))->setText(QStringLiteral("Reset#2026ab"));
            reset->findChild<QLineEdit *>(QStringLiteral("m_lineEditConfirmPassword"))->setText(QStringLiteral("Reset#2026ab"));
            confirm(dialog);
        });
        runRecoveryDialog(nullptr, QString::fromLatin1(chosen.serialNumber), QString::fromLatin1(chosen.deviceDescription),
                          QString::fromLatin1(chosen.mac));
        QVERIFY2(!answered.isEmpty(), qPrintable(m_hints.join(QLatin1Char('|'))));
        QCOMPARE(lastHint(), QStringLiteral("Reset password Succeed."));
        QVERIFY(passwordWorks(chosen, "Reset#2026ab"));
        QVERIFY(!QFile::exists(statePath(m_keySeed)));
    }

    // The security code goes to the chosen device alone, although the code
    // would open the other one as well.
    void restoreDialog()
    {
        const WireRecord chosen = device0(m_restoreSeed + 1000);
        const QString serial = QString::fromLatin1(chosen.serialNumber);
        const QString type = QString::fromLatin1(chosen.deviceDescription);
        bool restoreOpened = false;
        TestSupport::onModal([&](QDialog *dialog) {
            auto *restore = qobject_cast<RestorePasswordDialog *>(dialog);
            if (!restore)
                return;
            restoreOpened = true;
            const QByteArray code =
                resetService({QStringLiteral("code"), QStringLiteral("--qr"), restore->qrText()});
            restore->findChild<QLineEdit *>(QStringLiteral("m_lineEditSecurityCode"))->setText(QString::fromLatin1(code));
            confirm(dialog);
        });
        runRecoveryDialog(nullptr, serial, type, QString::fromLatin1(chosen.mac));
        QVERIFY(restoreOpened);
        QCOMPARE(lastHint(), QStringLiteral("Restore password succeed."));
        QVERIFY(passwordWorks(chosen, VoskSim::SimDevice::defaultPassword()));
        QVERIFY(!QFile::exists(statePath(m_restoreSeed)));
    }

    // Config Export and Config Reset with both devices of one serial number
    // checked, the chosen one first: its key file, the service's answer to
    // it, the reset sent to it alone; the second is refused in both phases
    // before anything is asked of it (one key file, one answer per serial
    // number).
    void batchReset()
    {
        const WireRecord chosen = device0(m_keySeed + 1000);
        const WireRecord other = device0(m_keySeed);
        const QString answers = m_dir.filePath(QStringLiteral("answers"));
        const QDir work(resetWorkingFolder());
        runConfigExport(m_host.get(), {keyOf(chosen), keyOf(other)});
        QCOMPARE(m_messages, QStringList{QStringLiteral("Part failed.Please check\"out_error\" file")});
        QFile outError(work.filePath(QStringLiteral("out_error.txt")));
        QVERIFY(outError.open(QIODevice::ReadOnly));
        const QByteArray refused = outError.readAll();
        QCOMPARE(refused.count('\n'), 1);
        QVERIFY2(refused.startsWith(other.serialNumber + '+') && refused.contains("listed twice"), refused.constData());
        QVERIFY(!resetService({QStringLiteral("answer"), QStringLiteral("--key-dir"), work.path(),
                               QStringLiteral("--out-dir"), answers})
                     .isEmpty());
        m_messages.clear();
        TestSupport::onModal([&](QDialog *dialog) {
            dialog->findChild<QLineEdit *>(QStringLiteral("m_lineEditNewPassword"))->setText(QStringLiteral("Batch#Reset8"));
            dialog->findChild<QLineEdit *>(QStringLiteral("m_lineEditConfirmPassword"))->setText(QStringLiteral("Batch#Reset8"));
            dialog->findChild<QLineEdit *>(QStringLiteral("m_lineEditFilePath"))->setText(answers);
            confirm(dialog);
        });
        runConfigReset(m_host.get(), {keyOf(chosen), keyOf(other)});
        QCOMPARE(m_messages,
                 QStringList{QStringLiteral("Part failed.Please check\"in_error\" or \"mismatch\" file")});
        QFile mismatch(work.filePath(QStringLiteral("mismatch.txt")));
        QVERIFY(mismatch.open(QIODevice::ReadOnly));
        QCOMPARE(mismatch.readAll(), other.serialNumber + "\r\n");
        QVERIFY(!QFile::exists(work.filePath(QStringLiteral("in_error.txt"))));
        QVERIFY(passwordWorks(chosen, "Batch#Reset8"));

        // Nothing ever reached the devices sharing the chosen ones' serial
        // numbers: they keep the password they started with.
        QVERIFY(!QFile::exists(statePath(m_keySeed)));
        QVERIFY(passwordWorks(device0(m_keySeed), kAdminPassword));
        QVERIFY(passwordWorks(device0(m_restoreSeed), kAdminPassword));
    }
};

QTEST_MAIN(TestSharedSerial)
#include "tst_sharedserial.moc"
