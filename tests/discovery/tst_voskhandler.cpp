#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "tests/double/voskdouble.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <cstring>

using VOSK::VoskHandler;

namespace {

VOSK_DEVICE_INFO makeRecord(int event)
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    VOSK::setFieldBytes(record.serialNumber, "SN-1");
    VOSK::setFieldBytes(record.mac, "00:11:22:33:44:55");
    record.event = event;
    return record;
}

QByteArray bytesOf(const VOSK_DEVICE_INFO &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

} // namespace

class TestVoskHandler final : public QObject
{
    Q_OBJECT

private:
    VoskHandler *handler = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        VOSK::registerMetaTypes();
        VoskDouble::reset();
        handler = VoskHandler::instance();
        // Creating the handler sets up the library's log once: (3, 0, 1).
        QCOMPARE(VoskDouble::callCount(QStringLiteral("VOSK_SetLogToFile")), 1);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_SetLogToFile")), (QVariantList{3, 0, 1}));
        QCOMPARE(VoskHandler::instance(), handler);
        QCOMPARE(VoskDouble::callCount(QStringLiteral("VOSK_SetLogToFile")), 1);
    }

    void init()
    {
        VoskDouble::reset();
        QVERIFY(handler->stop());
        VoskDouble::reset();
    }

    void metaCastNames()
    {
        QVERIFY(handler->qt_metacast("VOSK::VoskHandler"));
        QVERIFY(handler->qt_metacast("CSingleton<VoskHandler>"));
    }

    void startTwiceCallsLibraryOnce()
    {
        QVERIFY(handler->start());
        QVERIFY(handler->start());
        QCOMPARE(VoskDouble::callCount(QStringLiteral("VOSK_Start_V30")), 1);
        const QVariantList args = VoskDouble::lastArgs(QStringLiteral("VOSK_Start_V30"));
        QCOMPARE(args.at(1).toInt(), 1);
        QCOMPARE(args.at(2).value<quintptr>(), reinterpret_cast<quintptr>(handler));
        QVERIFY(handler->isStarted());
    }

    void failedStartStaysStoppedAndRetries()
    {
        VoskDouble::setResult(QStringLiteral("VOSK_Start_V30"), 0);
        QVERIFY(!handler->start());
        QVERIFY(!handler->isStarted());
        VoskDouble::setResult(QStringLiteral("VOSK_Start_V30"), 1);
        QVERIFY(handler->start());
        QCOMPARE(VoskDouble::callCount(QStringLiteral("VOSK_Start_V30")), 2);
    }

    void stopBeforeStartCallsNothing()
    {
        QVERIFY(handler->stop());
        QCOMPARE(VoskDouble::calls().size(), 0);
    }

    void failedStopStaysStarted()
    {
        QVERIFY(handler->start());
        VoskDouble::setResult(QStringLiteral("VOSK_Stop"), 0);
        QVERIFY(!handler->stop());
        QVERIFY(handler->isStarted());
        VoskDouble::setResult(QStringLiteral("VOSK_Stop"), 1);
        QVERIFY(handler->stop());
        QVERIFY(!handler->isStarted());
        QCOMPARE(VoskDouble::callCount(QStringLiteral("VOSK_Stop")), 2);
    }

    void setLogToFileSwapsFirstTwo()
    {
        QVERIFY(handler->setLogToFile(7, 8, 9));
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_SetLogToFile")), (QVariantList{8, 7, 9}));
    }

    void filterRule_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("libraryResult");
        QTest::addColumn<bool>("expected");
        QTest::newRow("on, 1") << true << 1 << true;
        QTest::newRow("off, 1") << false << 1 << true;
        QTest::newRow("on, -1 counts as success") << true << -1 << true;
        QTest::newRow("on, 0 fails") << true << 0 << false;
    }

    void filterRule()
    {
        QFETCH(bool, on);
        QFETCH(int, libraryResult);
        QFETCH(bool, expected);
        VoskDouble::setResult(QStringLiteral("VOSK_SetDeviceFilterRule"), libraryResult);
        VoskDouble::setLastError(2002);
        QLoggingCategory::setFilterRules(QStringLiteral("vosktool.discovery.debug=true"));
        if (!expected)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("error 2002")));
        QCOMPARE(handler->setDeviceFilterRule(on), expected);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_SetDeviceFilterRule")), (QVariantList{on ? 1 : 0, 0, 0}));
    }

    void wrappersPassArgumentsAndResults_data()
    {
        QTest::addColumn<int>("libraryResult");
        QTest::addColumn<bool>("expected");
        QTest::newRow("1") << 1 << true;
        QTest::newRow("2") << 2 << true;
        QTest::newRow("0") << 0 << false;
        QTest::newRow("-1") << -1 << false;
    }

    void wrappersPassArgumentsAndResults()
    {
        QFETCH(int, libraryResult);
        QFETCH(bool, expected);
        for (const char *f : {"VOSK_ModifyDeviceNetParam", "VOSK_ActivateDevice", "VOSK_GetDeviceConfig",
                              "VOSK_ResetPasswd", "VOSK_ResetDefaultPasswd", "VOSK_ChangePasswd", "VOSK_SendInquiry",
                              "VOSK_Clearup", "VOSK_ModifyDeviceNetParam_ByPair", "VOSK_ActivateDevice_ByPair",
                              "VOSK_GetDeviceConfig_ByPair", "VOSK_ResetPasswd_ByPair",
                              "VOSK_ResetDefaultPasswd_ByPair", "VOSK_ChangePasswd_ByPair"})
            VoskDouble::setResult(QString::fromLatin1(f), libraryResult);

        VOSK_NET_PARAM param;
        std::memset(&param, 0, sizeof param);
        VOSK::setFieldBytes(param.ipv4Address, "10.0.0.7");
        QCOMPARE(handler->modifyDeviceNetParam("00:11:22:33:44:55", "pw", &param), expected);
        QVariantList args = VoskDouble::lastArgs(QStringLiteral("VOSK_ModifyDeviceNetParam"));
        QCOMPARE(args.at(0).toByteArray(), QByteArray("00:11:22:33:44:55"));
        QCOMPARE(args.at(1).toByteArray(), QByteArray("pw"));
        QCOMPARE(args.at(2).toByteArray(), QByteArray(reinterpret_cast<const char *>(&param), sizeof param));

        QCOMPARE(handler->activateDevice("SN-1", "Secret123"), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ActivateDevice")),
                 (QVariantList{QByteArray("SN-1"), QByteArray("Secret123")}));

        VoskDouble::setConfigAnswer(QByteArray("\x03\0\0\0abc", 7));
        VOSK_KEY_ANSWER answer;
        std::memset(&answer, 0, sizeof answer);
        QCOMPARE(handler->getDeviceConfig("SN-1", 1, nullptr, 0, &answer, VOSK_KEY_ANSWER_SIZE_V1), expected);
        args = VoskDouble::lastArgs(QStringLiteral("VOSK_GetDeviceConfig"));
        QCOMPARE(args.at(1).toUInt(), 1u);
        QCOMPARE(args.at(4).toUInt(), 260u);
        if (expected)
            QCOMPARE(answer.length, 3u);

        VOSK_RESET_PASSWD_PARAM reset;
        std::memset(&reset, 0, sizeof reset);
        QCOMPARE(handler->resetPasswd("SN-1", &reset), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ResetPasswd")).at(1).toByteArray().size(), 1044);
        QCOMPARE(handler->resetDefaultPasswd("SN-1", "CODE"), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ResetDefaultPasswd")),
                 (QVariantList{QByteArray("SN-1"), QByteArray("CODE")}));
        QCOMPARE(handler->changePassword("SN-1", "Old#Pass1", "New#Pass2"), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ChangePasswd")),
                 (QVariantList{QByteArray("SN-1"), QByteArray("Old#Pass1"), QByteArray("New#Pass2")}));
        QCOMPARE(handler->sendInquiry(), expected);
        QCOMPARE(handler->clearup(), expected);

        // By the pair: both halves as Latin-1, in the library's order.
        const DeviceKey device{QStringLiteral("SN-\u00e9"), QStringLiteral("00:11:22:33:44:55")};
        const QByteArray serial("SN-\xe9"), mac("00:11:22:33:44:55");
        QCOMPARE(handler->modifyDeviceNetParam(device, "pw", &param), expected);
        args = VoskDouble::lastArgs(QStringLiteral("VOSK_ModifyDeviceNetParam_ByPair"));
        QCOMPARE(args.mid(0, 3), (QVariantList{serial, mac, QByteArray("pw")}));
        QCOMPARE(args.at(3).toByteArray(), QByteArray(reinterpret_cast<const char *>(&param), sizeof param));
        QCOMPARE(handler->activateDevice(device, "Secret123"), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ActivateDevice_ByPair")),
                 (QVariantList{serial, mac, QByteArray("Secret123")}));
        std::memset(&answer, 0, sizeof answer);
        QCOMPARE(handler->getDeviceConfig(device, 2, &answer, VOSK_KEY_ANSWER_SIZE_V2), expected);
        args = VoskDouble::lastArgs(QStringLiteral("VOSK_GetDeviceConfig_ByPair"));
        QCOMPARE(args.mid(0, 3), (QVariantList{serial, mac, 2u}));
        QCOMPARE(args.at(5).toUInt(), 388u);
        if (expected)
            QCOMPARE(answer.length, 3u);
        QCOMPARE(handler->resetPasswd(device, &reset), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ResetPasswd_ByPair")).mid(0, 2), (QVariantList{serial, mac}));
        QCOMPARE(handler->resetDefaultPasswd(device, "CODE"), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ResetDefaultPasswd_ByPair")),
                 (QVariantList{serial, mac, QByteArray("CODE")}));
        QCOMPARE(handler->changePassword(device, "Old#Pass1", "New#Pass2"), expected);
        QCOMPARE(VoskDouble::lastArgs(QStringLiteral("VOSK_ChangePasswd_ByPair")),
                 (QVariantList{serial, mac, QByteArray("Old#Pass1"), QByteArray("New#Pass2")}));

        VoskDouble::setLastError(2011);
        QCOMPARE(handler->getLastError(), 2011);
        VoskDouble::setLastError(VOSK_ERR_LOCKED);
        VoskDouble::setLockedSeconds(42);
        QCOMPARE(handler->getLockedSeconds(), 42);
    }

    void eventsBecomeSignals_data()
    {
        QTest::addColumn<int>("event");
        QTest::addColumn<int>("online");
        QTest::addColumn<int>("offline");
        QTest::addColumn<int>("update");
        QTest::newRow("1 online") << 1 << 1 << 0 << 0;
        QTest::newRow("2 updated") << 2 << 0 << 0 << 1;
        QTest::newRow("3 offline") << 3 << 0 << 1 << 0;
        QTest::newRow("4 as online") << 4 << 1 << 0 << 0;
        QTest::newRow("0 dropped") << 0 << 0 << 0 << 0;
        QTest::newRow("5 dropped") << 5 << 0 << 0 << 0;
        QTest::newRow("-1 dropped") << -1 << 0 << 0 << 0;
    }

    void eventsBecomeSignals()
    {
        QFETCH(int, event);
        QFETCH(int, online);
        QFETCH(int, offline);
        QFETCH(int, update);
        QVERIFY(handler->start());
        QSignalSpy onlineSpy(handler, &VoskHandler::signalDeviceOnline);
        QSignalSpy offlineSpy(handler, &VoskHandler::signalDeviceOffline);
        QSignalSpy updateSpy(handler, &VoskHandler::signalDeviceUpdate);
        VoskDouble::fire(makeRecord(event));
        QCOMPARE(onlineSpy.count(), online);
        QCOMPARE(offlineSpy.count(), offline);
        QCOMPARE(updateSpy.count(), update);
    }

    void textSanity_data()
    {
        QTest::addColumn<int>("terminatedField"); // offset of the one terminated field, -1 for none
        QTest::addColumn<bool>("delivered");
        QTest::newRow("none terminated") << -1 << false;
        QTest::newRow("only serial number") << int(offsetof(VOSK_DEVICE_INFO, serialNumber)) << true;
        QTest::newRow("only start time") << int(offsetof(VOSK_DEVICE_INFO, startTime)) << true;
        QTest::newRow("only leading text") << int(offsetof(VOSK_DEVICE_INFO, leadingText)) << true;
    }

    void textSanity()
    {
        QFETCH(int, terminatedField);
        QFETCH(bool, delivered);
        QVERIFY(handler->start());
        VOSK_DEVICE_INFO record;
        // Every byte non-zero but event: no text field ends anywhere.
        std::memset(&record, 'x', sizeof record);
        record.event = 1;
        if (terminatedField >= 0)
            reinterpret_cast<char *>(&record)[terminatedField + 3] = '\0';
        QSignalSpy onlineSpy(handler, &VoskHandler::signalDeviceOnline);
        VoskDouble::fire(record);
        QCOMPARE(onlineSpy.count(), delivered ? 1 : 0);
    }

    // Only the ONVIF side makes rows marked ONVIF: a device of ours that
    // says so in its leading text would otherwise be keyed as an ONVIF row.
    void recordMarkedOnvifIsDropped()
    {
        QVERIFY(handler->start());
        QSignalSpy onlineSpy(handler, &VoskHandler::signalDeviceOnline);
        VOSK_DEVICE_INFO record = makeRecord(1);
        VOSK::setFieldBytes(record.leadingText, QByteArrayLiteral("ONVIF"));
        VoskDouble::fire(record);
        VOSK::setFieldBytes(record.leadingText, QByteArrayLiteral("ONVIF2"));
        VoskDouble::fire(record);
        QCOMPARE(onlineSpy.count(), 1);
    }

    void nullRecordOrUserIsDropped()
    {
        QVERIFY(handler->start());
        QSignalSpy onlineSpy(handler, &VoskHandler::signalDeviceOnline);
        const VOSK_DEVICE_INFO record = makeRecord(1);
        VoskDouble::fireRaw(nullptr, handler);
        VoskDouble::fireRaw(&record, nullptr);
        QCOMPARE(onlineSpy.count(), 0);
        VoskDouble::fireRaw(&record, handler);
        QCOMPARE(onlineSpy.count(), 1);
    }

    void reportReachesGuiThreadIntact()
    {
        QVERIFY(handler->start());
        VOSK_DEVICE_INFO record = makeRecord(1);
        auto *raw = reinterpret_cast<unsigned char *>(&record);
        for (int i = 300; i < 500; ++i)
            raw[i] = static_cast<unsigned char>(i);
        record.event = 1;

        QObject receiver;
        QByteArray received;
        QThread *deliveredOn = nullptr;
        connect(handler, &VoskHandler::signalDeviceOnline, &receiver, [&](VOSK_DEVICE_INFO info) {
            received = bytesOf(info);
            deliveredOn = QThread::currentThread();
        });
        VoskDouble::fire(record);
        // Queued: nothing arrives until the GUI thread's event loop runs.
        QVERIFY(received.isEmpty());
        QTRY_VERIFY(!received.isEmpty());
        QCOMPARE(deliveredOn, QThread::currentThread());
        QCOMPARE(received, bytesOf(record));
    }
};

QTEST_GUILESS_MAIN(TestVoskHandler)
#include "tst_voskhandler.moc"
