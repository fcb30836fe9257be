// Password recovery end to end: the dialogs and the batch reset against the
// real library, a simulated fleet and the reset-service stand-in. The QR
// images the dialogs show are read back with zbarimg; bubbles, choosers,
// message boxes and the file browser go through RecoveryUi's seams.

#include "aptui/basedialog.h"
#include "aptui/targetpath.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/voskhandler.h"
#include "password/batchreset.h"
#include "password/recoverydialogs.h"
#include "operations/recoveryfiles.h"
#include "operations/serialfilename.h"
#include "password/recoveryui.h"
#include "password/resetpassworddialog.h"
#include "password/restorepassworddialog.h"
#include "tests/support/modaldriver.h"
#include "tests/support/tablepage.h"
#include "tests/vosk/voskfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QToolButton>

using namespace VoskTest;
using namespace VoskTool;

namespace {

constexpr quint64 kSeed = 23;
constexpr int kCount = 40;
const QByteArray kOldPassword = "Admin12345";

// Whether `password` is the device's administrator password now: a
// modification that changes nothing is accepted with it.
bool passwordWorks(const VoskNet::WireRecord &r, const QByteArray &password)
{
    VOSK_NET_PARAM param = netParam(r.ipv4Address.constData(), r.ipv4Mask.constData(), r.ipv4Gateway.constData(),
                                    r.port);
    param.dhcpEnabled = r.dhcpEnabled;
    return VOSK_ModifyDeviceNetParam(r.mac.constData(), password.constData(), &param) == 1;
}

// The text of the QR symbol a label shows, as zbarimg reads it.
QByteArray decodeQr(const QLabel *label)
{
    QTemporaryFile png(QDir::tempPath() + QStringLiteral("/qrXXXXXX.png"));
    if (!png.open() || !label->pixmap().save(&png, "PNG"))
        return "<no image>";
    png.close();
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--nodbus"), QStringLiteral("--raw"), QStringLiteral("-q"),
                                           png.fileName()});
    if (!zbar.waitForFinished(20000) || zbar.exitCode() != 0)
        return "<not decoded>";
    QByteArray text = zbar.readAllStandardOutput();
    if (text.endsWith('\n'))
        text.chop(1);
    return text;
}

template <typename T>
T *child(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

void confirm(QWidget *dialog)
{
    static_cast<aptui::BaseDialog *>(dialog)->confirmButton()->click();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestRecoveryFlow final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Devsim m_devsim;
    std::vector<VoskSim::SimDevice> m_fleet = fleet(kSeed, kCount);
    std::unique_ptr<QWidget> m_host;
    DeviceDisplayPage *m_page = nullptr;
    QList<RecoveryUi::Hint> m_hints;
    QStringList m_messages;
    QStringList m_namedFolders;
    QString m_chosenFile;
    QList<int> m_used;

    const VoskNet::WireRecord &record(int index) const { return m_fleet[std::size_t(index)].record(); }
    QString serialOf(int index) const { return QString::fromLatin1(record(index).serialNumber); }
    QString typeOf(int index) const { return QString::fromLatin1(record(index).deviceDescription); }
    QString macOf(int index) const { return QString::fromLatin1(record(index).mac); }

    // A device of the fleet not used by an earlier test, activated unless
    // anyState.
    int take(std::function<bool(const VoskNet::WireRecord &)> pred, bool anyState = false)
    {
        for (int i = 0; i < kCount; ++i) {
            if (!m_used.contains(i) && (anyState || !record(i).notActivated) && pred(record(i))) {
                m_used << i;
                return i;
            }
        }
        return -1;
    }
    int takeKeyDevice(bool newStyle)
    {
        return take([newStyle](const VoskNet::WireRecord &r) {
            return (r.capabilities & VOSK_CAP_KEY_RESET) && bool(r.newResetType) == newStyle;
        });
    }
    QString lastHint() const { return m_hints.isEmpty() ? QString() : m_hints.constLast().text; }

    void checkRow(int index, bool on)
    {
        const int row = m_page->model()->rowOf(serialOf(index), macOf(index));
        QVERIFY(row >= 0);
        m_page->model()->setCheckState(row, on ? Qt::Checked : Qt::Unchecked);
    }
    void uncheckAll()
    {
        for (int row = 0; row < m_page->model()->rowCount(); ++row)
            m_page->model()->setCheckState(row, Qt::Unchecked);
    }
    QPushButton *pageButton(const char *name) const { return m_page->findChild<QPushButton *>(QLatin1String(name)); }
    QString workFile(const char *name) const { return QDir(resetWorkingFolder()).filePath(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        pinToLoopback(47231, "239.255.86.131");
        // The working folder lives in the home folder; the answer copy in
        // the program's folder.
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("home")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("program")));
        qputenv("HOME", m_dir.filePath(QStringLiteral("home")).toLocal8Bit());
        TarnGUIToolkit::SetTargetPath(m_dir.filePath(QStringLiteral("program")));

        RecoveryUi::setHintPresenter([this](const RecoveryUi::Hint &hint) { m_hints << hint; });
        RecoveryUi::setFileChooser([this](QWidget *, const QString &) { return m_chosenFile; });
        RecoveryUi::setFolderChooser([](QWidget *, const QString &) { return QString(); });
        RecoveryUi::setMessageBox([this](QWidget *, const QString &, const QString &text) { m_messages << text; });
        RecoveryUi::setFolderOpener([](const QString &) { return true; });
        // The batch phases' messages name the working folder.
        RecoveryUi::setFolderMessageBox(
            [this](QWidget *, const QString &, const QString &text, const QString &folder) {
                m_messages << text;
                m_namedFolders << folder;
            });

        m_host = std::make_unique<QWidget>();
        m_page = TestSupport::listeningTablePage(m_dir, QStringLiteral(VOSKTOOL_SHIPPED_COLUMN_CONFIG), m_host.get());
        // What the main window does with the page's requests.
        connect(m_page, &DeviceDisplayPage::signalConfigExportRequested, m_page,
                [this](const QVector<DeviceKey> &devices) { runConfigExport(m_page, devices); });
        connect(m_page, &DeviceDisplayPage::signalConfigResetRequested, m_page,
                [this](const QVector<DeviceKey> &devices) { runConfigReset(m_page, devices); });
        QVERIFY(m_page);
        VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();

        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QString::number(kSeed)}));
        QVERIFY(handler->start());
        QTRY_COMPARE_WITH_TIMEOUT(DeviceStore::instance()->count(), kCount, 30000);
    }

    void cleanupTestCase()
    {
        VOSK::VoskHandler::instance()->stop();
        m_devsim.stop();
        m_host.reset();
    }

    void init()
    {
        m_hints.clear();
        m_messages.clear();
        m_namedFolders.clear();
    }

    // New-style device: the QR code carries "type**key"; a forged and a
    // foreign answer are refused with the input kept, the service's answer
    // typed in resets the password.
    void resetWithTypedAnswer()
    {
        const int index = takeKeyDevice(true);
        const int other = takeKeyDevice(false);
        QVERIFY(index >= 0 && other >= 0);
        QByteArray otherKey;
        QVERIFY(fetchDeviceKey({serialOf(other), macOf(other)}, false, &otherKey).ok());
        const QByteArray foreign = resetService({QStringLiteral("answer"), QStringLiteral("--qr"),
                                                 QStringLiteral("B:") + typeOf(other) + QStringLiteral("**")
                                                     + QString::fromLatin1(otherKey)});
        QVERIFY(foreign.startsWith("RA1."));

        QString dialogClass;
        bool manualShown = false;
        QByteArray decoded;
        QString shownText;
        QStringList failures;
        bool stillOpen = false;
        QString keptInput;
        QString keptPassword;
        int result = -1;
        TestSupport::onModal([&](QDialog *dialog) {
            dialogClass = QString::fromLatin1(dialog->metaObject()->className());
            auto *reset = qobject_cast<ResetPasswordDialog *>(dialog);
            if (!reset)
                return;
            manualShown = child<QRadioButton>(dialog, "m_radioBtnManualInput")->isVisible()
                && child<QRadioButton>(dialog, "m_radioBtnManualInput")->isChecked();
            child<QPushButton>(dialog, "m_btnQRcode")->click();
            decoded = decodeQr(child<QLabel>(dialog, "m_labelQcCode"));
            shownText = reset->qrText();
            auto *input = child<QLineEdit>(dialog, "m_lineEditFilePath");
            child<QLineEdit>(dialog, "m_lineEditNewPassword")->setText(QStringLiteral("Reset#2026ab"));
            child<QLineEdit>(dialog, "m_lineEditConfirmPassword")->setText(QStringLiteral("Reset#2026ab"));
            input->setText(QString(257, QLatin1Char('K')));
            confirm(dialog);
            failures << lastHint();
            for (const QByteArray &wrong : {QByteArray("RA1.AAAAAAAAAAAAAAAAAAAAAAAAAAAA"), foreign}) {
                input->setText(QString::fromLatin1(wrong));
                confirm(dialog);
                failures << lastHint();
            }
            stillOpen = dialog->isVisible();
            keptInput = input->text();
            keptPassword = child<QLineEdit>(dialog, "m_lineEditNewPassword")->text();
            const QByteArray answer = resetService({QStringLiteral("answer"), QStringLiteral("--qr"),
                                                    QString::fromLatin1(decoded)});
            input->setText(QString::fromLatin1(answer));
            confirm(dialog);
            result = dialog->result();
        });
        runRecoveryDialog(nullptr, serialOf(index), typeOf(index), macOf(index));

        QCOMPARE(dialogClass, QStringLiteral("VoskTool::ResetPasswordDialog"));
        QVERIFY(manualShown);
        QVERIFY(decoded.startsWith(record(index).deviceDescription + "**V2."));
        QCOMPARE(decoded, shownText.toLatin1());
        // Too long for the library's field: refused before it is sent.
        QCOMPARE(failures, QStringList({QStringLiteral("The secret key is too long: at most 256 bytes."),
                                        QStringLiteral("Reset password failed."),
                                        QStringLiteral("Reset password failed.")}));
        QVERIFY(stillOpen);
        QCOMPARE(keptInput, QString::fromLatin1(foreign));
        QCOMPARE(keptPassword, QStringLiteral("Reset#2026ab"));
        QCOMPARE(lastHint(), QStringLiteral("Reset password Succeed."));
        QCOMPARE(m_hints.constLast().kind, int(RecoveryUi::KindSuccess));
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(passwordWorks(record(index), "Reset#2026ab"));
        QVERIFY(!passwordWorks(record(index), kOldPassword));
    }

    // Old-style device: only file input, "B:" in the QR text, the answer
    // file imported through a copy that loses its trailing line ends.
    void resetWithAnswerFile()
    {
        const int index = takeKeyDevice(false);
        QVERIFY(index >= 0);
        QByteArray decoded;
        bool manualHidden = false;
        bool folderShown = false;
        QString pathShown;
        int result = -1;
        const QString answerFile = m_dir.filePath(QStringLiteral("answer-old.xml"));
        const QString keyFolder = m_dir.filePath(QStringLiteral("keys"));
        QVERIFY(QDir().mkpath(keyFolder));
        RecoveryUi::setFolderChooser([keyFolder](QWidget *, const QString &) { return keyFolder; });
        QString exportHint;
        TestSupport::onModal([&](QDialog *dialog) {
            if (!qobject_cast<ResetPasswordDialog *>(dialog))
                return;
            manualHidden = !child<QRadioButton>(dialog, "m_radioBtnManualInput")->isVisible()
                && child<QRadioButton>(dialog, "m_radioBtnAutoInput")->isChecked();
            folderShown = child<QToolButton>(dialog, "m_btnFilePath")->isVisible();
            child<QPushButton>(dialog, "m_btnQRcode")->click();
            decoded = decodeQr(child<QLabel>(dialog, "m_labelQcCode"));
            // The hidden "Export" action writes the same key to a key file.
            QMetaObject::invokeMethod(dialog, "onExportFile");
            exportHint = lastHint();
            if (resetService({QStringLiteral("answer"), QStringLiteral("--qr"), QString::fromLatin1(decoded),
                              QStringLiteral("--out"), answerFile})
                    .isEmpty())
                return;
            QFile file(answerFile);
            if (!file.open(QIODevice::Append))
                return;
            file.write("\r\n\r\n");
            file.close();
            m_chosenFile = answerFile;
            child<QToolButton>(dialog, "m_btnFilePath")->click();
            pathShown = child<QLineEdit>(dialog, "m_lineEditFilePath")->text();
            child<QLineEdit>(dialog, "m_lineEditNewPassword")->setText(QStringLiteral("FileReset99x"));
            child<QLineEdit>(dialog, "m_lineEditConfirmPassword")->setText(QStringLiteral("FileReset99x"));
            confirm(dialog);
            result = dialog->result();
        });
        runRecoveryDialog(nullptr, serialOf(index), typeOf(index), macOf(index));

        QVERIFY(manualHidden);
        QVERIFY(folderShown);
        QVERIFY(decoded.startsWith("B:" + record(index).deviceDescription + "**V1."));
        RecoveryUi::setFolderChooser([](QWidget *, const QString &) { return QString(); });
        QCOMPARE(exportHint, QStringLiteral("Exported."));
        const QFileInfoList keyFiles = QDir(keyFolder).entryInfoList(QDir::Files);
        QCOMPARE(keyFiles.size(), 1);
        QVERIFY(keyFiles.first().fileName().startsWith(SerialFileName::encode(serialOf(index)) + QLatin1Char('-')));
        QCOMPARE(readFile(keyFiles.first().filePath()), decoded.mid(decoded.indexOf("**") + 2));
        QCOMPARE(pathShown, answerFile);
        QCOMPARE(lastHint(), QStringLiteral("Reset password Succeed."));
        QCOMPARE(result, int(QDialog::Accepted));
        QByteArray expected = readFile(answerFile);
        expected.chop(6);
        QCOMPARE(readFile(answerCopyPath()), expected);
        QVERIFY(passwordWorks(record(index), "FileReset99x"));
        QVERIFY(!passwordWorks(record(index), kOldPassword));
    }

    void restoreWithSecurityCode_data()
    {
        QTest::addColumn<bool>("prefixed");
        QTest::newRow("type with a model prefix") << true;
        QTest::newRow("type without one") << false;
    }
    void restoreWithSecurityCode()
    {
        QFETCH(bool, prefixed);
        const QStringList prefixes = RestorePasswordDialog::modelPrefixes();
        const int index = take([&](const VoskNet::WireRecord &r) {
            const QString type = QString::fromLatin1(r.deviceDescription);
            const bool hasPrefix = std::any_of(prefixes.begin(), prefixes.end(),
                                               [&](const QString &p) { return type.contains(p); });
            // With a prefix, a serial number that begins with the type.
            return !(r.capabilities & VOSK_CAP_KEY_RESET) && hasPrefix == prefixed
                && (!prefixed || r.serialNumber.startsWith(r.deviceDescription));
        });
        QVERIFY2(index >= 0, "the fleet has no such device");
        const QString serial = serialOf(index);
        const QString expected = QStringLiteral("A:") + typeOf(index) + QStringLiteral("**")
            + (prefixed ? serial.mid(typeOf(index).size()) : serial);

        QByteArray decoded;
        QString dialogClass;
        QStringList outcomes;
        QByteArray code;
        TestSupport::onModal([&](QDialog *dialog) {
            dialogClass = QString::fromLatin1(dialog->metaObject()->className());
            decoded = decodeQr(child<QLabel>(dialog, "m_labelQcCode"));
            code = resetService({QStringLiteral("code"), QStringLiteral("--qr"), QString::fromLatin1(decoded)});
            auto *field = child<QLineEdit>(dialog, "m_lineEditSecurityCode");
            confirm(dialog);
            outcomes << lastHint();
            field->setText(QStringLiteral("1-AAAAAAAAAAAAAAAA"));
            confirm(dialog);
            outcomes << lastHint();
            field->setText(QString::fromLatin1(code));
            confirm(dialog);
            outcomes << lastHint();
        });
        runRecoveryDialog(nullptr, serial, typeOf(index), macOf(index));
        QCOMPARE(dialogClass, QStringLiteral("VoskTool::RestorePasswordDialog"));
        QCOMPARE(QString::fromLatin1(decoded), expected);
        QCOMPARE(outcomes, QStringList({QStringLiteral("Please input security code."),
                                        QStringLiteral("Restore password failed."),
                                        QStringLiteral("Restore password succeed.")}));
        QVERIFY(passwordWorks(record(index), VoskSim::SimDevice::defaultPassword()));

        // A code works once.
        QString again;
        bool stillOpen = false;
        TestSupport::onModal([&](QDialog *dialog) {
            child<QLineEdit>(dialog, "m_lineEditSecurityCode")->setText(QString::fromLatin1(code));
            confirm(dialog);
            again = lastHint();
            stillOpen = dialog->isVisible();
        });
        runRecoveryDialog(nullptr, serial, typeOf(index), macOf(index));
        QCOMPARE(again, QStringLiteral("Restore password failed."));
        QVERIFY(stillOpen);
    }

    // A device no longer in the store gets the restore dialog: without a
    // record there is no key to reset with.
    void goneDeviceOpensRestore()
    {
        QString dialogClass;
        TestSupport::onModal([&](QDialog *dialog) {
            dialogClass = QString::fromLatin1(dialog->metaObject()->className());
        });
        runRecoveryDialog(nullptr, QStringLiteral("VS9999999999"), QStringLiteral("VC-2120A"),
                          QStringLiteral("02-5e-ff-ff-ff-ff"));
        QCOMPARE(dialogClass, QStringLiteral("VoskTool::RestorePasswordDialog"));
    }

    // Both phases behind the table's buttons: keys out, the service's answers
    // in, a forged answer in in_error.txt, a device without one in
    // mismatch.txt.
    void batchReset()
    {
        const int a = takeKeyDevice(true);
        const int b = takeKeyDevice(false);
        // A serial number with '/', written '_' in file names. A device
        // that is not activated refuses a reset (it has no password to
        // recover): activate it first.
        const int c = take([](const VoskNet::WireRecord &r) {
            return (r.capabilities & VOSK_CAP_KEY_RESET) && r.serialNumber.contains('/');
        }, true);
        QVERIFY(c >= 0);
        if (record(c).notActivated)
            QVERIFY(VOSK::VoskHandler::instance()->activateDevice(record(c).serialNumber, kOldPassword));
        const int d = take([](const VoskNet::WireRecord &r) { return r.capabilities & VOSK_CAP_KEY_RESET; });
        const int noKey = take([](const VoskNet::WireRecord &r) { return !(r.capabilities & VOSK_CAP_KEY_RESET); });
        const int e = take([](const VoskNet::WireRecord &r) { return r.capabilities & VOSK_CAP_KEY_RESET; });
        QVERIFY(a >= 0 && b >= 0 && c >= 0 && d >= 0 && noKey >= 0 && e >= 0);
        const QDir work(resetWorkingFolder());

        // Export with a device that has no key: out_error.txt names it.
        uncheckAll();
        for (int index : {a, b, c, noKey})
            checkRow(index, true);
        QVERIFY(pageButton("m_btnConfigExportFile")->isEnabled());
        pageButton("m_btnConfigExportFile")->click();
        QCOMPARE(m_messages, QStringList(QStringLiteral("Part failed.Please check\"out_error\" file")));
        QCOMPARE(m_namedFolders, QStringList(resetWorkingFolder()));
        VOSK_DEVICE_INFO stored;
        QVERIFY(DeviceStore::instance()->getDevice(serialOf(noKey), macOf(noKey), stored));
        QCOMPARE(readFile(workFile("out_error.txt")),
                 serialOf(noKey).toLatin1() + '+' + QByteArray(stored.startTime) + " software: "
                     + QByteArray(stored.softwareVersion) + " error code: 2009\r\n");
        for (int index : {a, b, c}) {
            const QString serial = SerialFileName::encode(serialOf(index));
            const QStringList files = work.entryList({serial + QStringLiteral("-*.xml")}, QDir::Files);
            QCOMPARE(files.size(), 1);
            QVERIFY(QRegularExpression(QStringLiteral("-\\d{12}\\.xml$")).match(files.first()).hasMatch());
            QVERIFY(readFile(work.filePath(files.first())).startsWith("V1."));
        }

        // A second export without it: out_error.txt of the first one goes.
        checkRow(noKey, false);
        m_messages.clear();
        pageButton("m_btnConfigExportFile")->click();
        QCOMPARE(m_messages, QStringList(QStringLiteral("Exported")));
        QVERIFY(!QFile::exists(workFile("out_error.txt")));

        // The service answers the folder; d gets a's answer under its name.
        const QString answers = m_dir.filePath(QStringLiteral("answers"));
        QVERIFY(!resetService({QStringLiteral("answer"), QStringLiteral("--key-dir"), work.path(),
                               QStringLiteral("--out-dir"), answers})
                     .isEmpty());
        const QString aName = SerialFileName::encode(serialOf(a));
        const QStringList aAnswers = QDir(answers).entryList({aName + QStringLiteral("-*.xml")}, QDir::Files);
        QVERIFY(!aAnswers.isEmpty());
        QVERIFY(QFile::copy(QDir(answers).filePath(aAnswers.first()),
                            QDir(answers).filePath(SerialFileName::keyFileName(serialOf(d), QDateTime::currentDateTime()))));

        uncheckAll();
        for (int index : {a, b, c, d, e})
            checkRow(index, true);
        m_messages.clear();
        m_namedFolders.clear();
        TestSupport::onModal([&](QDialog *dialog) {
            child<QLineEdit>(dialog, "m_lineEditNewPassword")->setText(QStringLiteral("Batch#Reset7"));
            child<QLineEdit>(dialog, "m_lineEditConfirmPassword")->setText(QStringLiteral("Batch#Reset7"));
            child<QLineEdit>(dialog, "m_lineEditFilePath")->setText(answers);
            confirm(dialog);
        });
        pageButton("m_btnConfigReset")->click();
        QCOMPARE(m_messages,
                 QStringList(QStringLiteral("Part failed.Please check\"in_error\" or \"mismatch\" file")));
        QCOMPARE(m_namedFolders, QStringList(resetWorkingFolder()));
        QVERIFY(DeviceStore::instance()->getDevice(serialOf(d), macOf(d), stored));
        QCOMPARE(readFile(workFile("in_error.txt")),
                 serialOf(d).toLatin1() + " + software: " + QByteArray(stored.softwareVersion)
                     + " error code: 2009\r\n");
        QCOMPARE(readFile(workFile("mismatch.txt")), serialOf(e).toLatin1() + "\r\n");
        for (int index : {a, b, c})
            QVERIFY2(passwordWorks(record(index), "Batch#Reset7"), record(index).serialNumber.constData());
        QVERIFY(passwordWorks(record(d), kOldPassword));
    }
};

QTEST_MAIN(TestRecoveryFlow)
#include "tst_recoveryflow.moc"
