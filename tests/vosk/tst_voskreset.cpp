// Password recovery end to end: the library fetches a device key, the
// reset-service stand-in answers it (typed key text or answer file) or turns
// a restore QR text into a security code, and the simulated device accepts
// exactly the answers meant for it.

#include "tests/vosk/voskfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace VoskTest;

namespace {

constexpr quint64 kSeed = 11;
constexpr int kCount = 30;

// The key data of VOSK_GetDeviceConfig, or empty on failure.
QByteArray fetchKey(const QByteArray &serial, unsigned command)
{
    unsigned char buffer[VOSK_KEY_ANSWER_SIZE_V2] = {};
    const unsigned size = command == 1 ? VOSK_KEY_ANSWER_SIZE_V1 : VOSK_KEY_ANSWER_SIZE_V2;
    if (VOSK_GetDeviceConfig(serial.constData(), command, nullptr, 0, buffer, size) != 1)
        return {};
    quint32 length = 0;
    std::memcpy(&length, buffer, 4);
    return QByteArray(reinterpret_cast<const char *>(buffer + 4), int(length));
}

VOSK_RESET_PASSWD_PARAM resetBlock(const QByteArray &keyText, const QByteArray &path, const QByteArray &password)
{
    VOSK_RESET_PASSWD_PARAM block;
    std::memset(&block, 0, sizeof block);
    std::memcpy(block.keyText, keyText.constData(), std::size_t(std::min<qsizetype>(keyText.size(), 256)));
    std::memcpy(block.answerFilePath, path.constData(), std::size_t(std::min<qsizetype>(path.size(), 260)));
    std::memcpy(block.newPassword, password.constData(), std::size_t(std::min<qsizetype>(password.size(), 16)));
    return block;
}

// Whether password is now the device's administrator password: a harmless
// modification (same parameters) is accepted with it.
bool passwordWorks(const VoskNet::WireRecord &r, const QByteArray &password)
{
    VOSK_NET_PARAM param = netParam(r.ipv4Address.constData(), r.ipv4Mask.constData(), r.ipv4Gateway.constData(),
                                    r.port);
    param.dhcpEnabled = r.dhcpEnabled;
    return VOSK_ModifyDeviceNetParam(r.mac.constData(), password.constData(), &param) == 1;
}

} // namespace

class TestVoskReset final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Devsim m_devsim;
    EventLog m_log;
    std::vector<VoskSim::SimDevice> m_fleet = fleet(kSeed, kCount);

    const VoskNet::WireRecord &record(int index) const { return m_fleet[std::size_t(index)].record(); }
    int device(bool newStyle, int skip = 0) const
    {
        return findDevice(m_fleet, [&](const VoskNet::WireRecord &r) {
            return !r.notActivated && (r.capabilities & VOSK_CAP_KEY_RESET) && r.newResetType == newStyle;
        }, skip);
    }

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47212, "239.255.86.112");
        QVERIFY(m_dir.isValid());
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QString::number(kSeed), QStringLiteral("--state"),
                                m_dir.filePath(QStringLiteral("state.json"))}));
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 10000);
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_devsim.stop();
    }

    void resetWithTypedKey()
    {
        const int index = device(false);
        QVERIFY(index >= 0);
        const QByteArray key = fetchKey(record(index).serialNumber, 1);
        QVERIFY(key.startsWith("V1."));
        // The QR text the reset dialog shows for an old-style device.
        const QByteArray qr = "B:" + record(index).deviceDescription + "**" + key;
        const QByteArray answer = resetService({QStringLiteral("answer"), QStringLiteral("--qr"),
                                                QString::fromLatin1(qr)});
        QVERIFY(answer.startsWith("RA1."));
        QVERIFY(answer.size() <= 256);
        VOSK_RESET_PASSWD_PARAM block = resetBlock(answer, {}, "Typed#Reset1");
        QCOMPARE(VOSK_ResetPasswd(record(index).serialNumber.constData(), &block), 1);
        QVERIFY(passwordWorks(record(index), "Typed#Reset1"));
        QVERIFY(!passwordWorks(record(index), "Admin12345"));
        // An answer works once.
        QCOMPARE(VOSK_ResetPasswd(record(index).serialNumber.constData(), &block), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
    }

    void resetWithAnswerFileAndSixteenBytePassword()
    {
        const int index = device(true);
        QVERIFY(index >= 0);
        const QByteArray key = fetchKey(record(index).serialNumber, 2);
        QVERIFY(key.startsWith("V2."));
        // The key file holds exactly the key bytes; the service answers it
        // with a file whose copy loses its trailing line end.
        const QString keyFile = m_dir.filePath(QStringLiteral("key.xml"));
        const QString answerFile = m_dir.filePath(QStringLiteral("answer.xml"));
        {
            QFile file(keyFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(key);
        }
        QVERIFY(!resetService({QStringLiteral("answer"), QStringLiteral("--key-file"), keyFile,
                               QStringLiteral("--out"), answerFile})
                     .isEmpty());
        QFile source(answerFile);
        QVERIFY(source.open(QIODevice::ReadOnly));
        QByteArray content = source.readAll();
        while (content.endsWith('\n') || content.endsWith('\r'))
            content.chop(1);
        const QString copy = m_dir.filePath(QStringLiteral("copy.xml"));
        {
            QFile file(copy);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        // A 16-byte password fills its field: no terminator of its own.
        const QByteArray password = "Sixteen#Chars16!";
        QCOMPARE(password.size(), 16);
        VOSK_RESET_PASSWD_PARAM block = resetBlock({}, QFile::encodeName(copy), password);
        block.resetCameras = (record(index).capabilities & VOSK_CAP_RESET_CAMERAS) ? 1 : 0;
        QCOMPARE(VOSK_ResetPasswd(record(index).serialNumber.constData(), &block), 1);
        QVERIFY(passwordWorks(record(index), password));
    }

    void answerForAnotherDeviceIsRefused()
    {
        const int first = device(false, 1);
        const int second = device(false, 2);
        QVERIFY(first >= 0 && second >= 0);
        const QByteArray key = fetchKey(record(first).serialNumber, 1);
        QVERIFY(!key.isEmpty());
        QVERIFY(!fetchKey(record(second).serialNumber, 1).isEmpty());
        const QByteArray answer = resetService({QStringLiteral("answer"), QStringLiteral("--qr"),
                                                QString::fromLatin1(key)});
        QVERIFY(!answer.isEmpty());
        VOSK_RESET_PASSWD_PARAM block = resetBlock(answer, {}, "Other#Reset1");
        QCOMPARE(VOSK_ResetPasswd(record(second).serialNumber.constData(), &block), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        // A forged answer: a valid one with its signature bytes changed.
        QByteArray forged = answer;
        forged[forged.size() - 3] = forged[forged.size() - 3] == 'A' ? 'B' : 'A';
        block = resetBlock(forged, {}, "Other#Reset1");
        QCOMPARE(VOSK_ResetPasswd(record(first).serialNumber.constData(), &block), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        QVERIFY(passwordWorks(record(second), "Admin12345"));
    }

    void restoreDefaultWithSecurityCode_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<bool>("typeRemoved");
        const int plain = findDevice(m_fleet, [](const VoskNet::WireRecord &r) {
            return !r.notActivated && !(r.capabilities & VOSK_CAP_KEY_RESET) && !r.serialNumber.startsWith(
                r.deviceDescription);
        });
        const int typed = findDevice(m_fleet, [](const VoskNet::WireRecord &r) {
            return !r.notActivated && r.serialNumber.startsWith(r.deviceDescription);
        });
        QVERIFY(plain >= 0 && typed >= 0);
        QTest::newRow("serial number whole") << plain << false;
        QTest::newRow("type removed from the serial number") << typed << true;
    }

    void restoreDefaultWithSecurityCode()
    {
        QFETCH(int, device);
        QFETCH(bool, typeRemoved);
        const VoskNet::WireRecord &r = record(device);
        QByteArray serialPart = r.serialNumber;
        if (typeRemoved)
            serialPart.replace(r.deviceDescription, QByteArray());
        const QByteArray qr = "A:" + r.deviceDescription + "**" + serialPart;
        const QByteArray code = resetService({QStringLiteral("code"), QStringLiteral("--qr"), QString::fromLatin1(qr)});
        QVERIFY(!code.isEmpty());
        QVERIFY(code.size() <= 32);
        QCOMPARE(VOSK_ResetDefaultPasswd(r.serialNumber.constData(), code.constData()), 1);
        QVERIFY(passwordWorks(r, "57094"));
        // Used once, refused afterwards.
        QCOMPARE(VOSK_ResetDefaultPasswd(r.serialNumber.constData(), code.constData()), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
    }

    void securityCodeOfAnotherDeviceIsRefused()
    {
        const int a = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return !r.notActivated; }, 4);
        const int b = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return !r.notActivated; }, 5);
        const QByteArray qr = "A:" + record(a).deviceDescription + "**" + record(a).serialNumber;
        const QByteArray code = resetService({QStringLiteral("code"), QStringLiteral("--qr"), QString::fromLatin1(qr)});
        QVERIFY(!code.isEmpty());
        QCOMPARE(VOSK_ResetDefaultPasswd(record(b).serialNumber.constData(), code.constData()), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
    }

    void batchOfKeyFilesAnsweredAsAFolder()
    {
        // The batch export's key files (serial with "/" and backslash as "_"),
        // answered folder to folder, matched back by serial number.
        QDir keys(m_dir.filePath(QStringLiteral("keys")));
        QDir answers(m_dir.filePath(QStringLiteral("answers")));
        QVERIFY(keys.mkpath(QStringLiteral(".")));
        QList<int> devices;
        for (int skip = 3; devices.size() < 3; ++skip) {
            const int index = device(false, skip);
            QVERIFY(index >= 0);
            devices << index;
        }
        const int slashed = findDevice(m_fleet, [](const VoskNet::WireRecord &r) {
            return r.serialNumber.contains('/') && !r.notActivated && (r.capabilities & VOSK_CAP_KEY_RESET);
        });
        if (slashed >= 0 && !devices.contains(slashed))
            devices << slashed;
        for (const int index : std::as_const(devices)) {
            const QByteArray key = fetchKey(record(index).serialNumber, 1);
            QVERIFY(!key.isEmpty());
            QByteArray name = record(index).serialNumber;
            name.replace('/', '_').replace('\\', '_');
            QFile file(keys.filePath(QString::fromLatin1(name) + QStringLiteral("-202612070820.xml")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(key);
        }
        QVERIFY(resetService({QStringLiteral("answer"), QStringLiteral("--key-dir"), keys.path(),
                              QStringLiteral("--out-dir"), keys.path()})
                    .isEmpty());
        QVERIFY(!resetService({QStringLiteral("answer"), QStringLiteral("--key-dir"), keys.path(),
                               QStringLiteral("--out-dir"), answers.path()})
                     .isEmpty());
        const QFileInfoList files = answers.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        QCOMPARE(files.size(), devices.size());
        for (const int index : std::as_const(devices)) {
            const QString serial = QString::fromLatin1(record(index).serialNumber);
            QString path;
            for (const QFileInfo &info : files) {
                if (info.absoluteFilePath().replace(QLatin1Char('_'), QLatin1Char('/')).contains(serial)) {
                    path = info.absoluteFilePath();
                    break;
                }
            }
            QVERIFY2(!path.isEmpty(), qPrintable(serial));
            VOSK_RESET_PASSWD_PARAM block = resetBlock({}, QFile::encodeName(path), "Batch#Reset1");
            QCOMPARE(VOSK_ResetPasswd(record(index).serialNumber.constData(), &block), 1);
            QVERIFY(passwordWorks(record(index), "Batch#Reset1"));
        }
    }

    void operationsFromTwoThreadsKeepTheirOwnLastError()
    {
        // The batch reset's worker and the GUI thread call at the same time.
        const int active = device(false);
        const int other = device(true);
        QCOMPARE(VOSK_ResetDefaultPasswd("NO-SUCH-DEVICE", "1-A"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_NO_SUCH_DEVICE));
        std::atomic<int> workerResult{-1};
        std::atomic<int> workerError{-1};
        std::thread worker([&] {
            workerResult = VOSK_ActivateDevice(record(active).serialNumber.constData(), "Worker#Pass1");
            workerError = VOSK_GetLastError();
        });
        const QByteArray key = fetchKey(record(other).serialNumber, 2);
        worker.join();
        QVERIFY(!key.isEmpty());
        QCOMPARE(workerResult.load(), 0);
        QCOMPARE(workerError.load(), int(VOSK_ERR_REACTIVE));
        // This thread's last failure is still its own.
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_NO_SUCH_DEVICE));
    }

    void refusingFleetDeniesEverything()
    {
        m_devsim.stop();
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QString::number(kSeed), QStringLiteral("--refuse")}));
        const int index = device(false);
        QVERIFY(fetchKey(record(index).serialNumber, 1).isEmpty());
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
        QVERIFY(!passwordWorks(record(index), "Admin12345"));
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_DEVICE_DENY));
    }
};

QTEST_GUILESS_MAIN(TestVoskReset)
#include "tst_voskreset.moc"
