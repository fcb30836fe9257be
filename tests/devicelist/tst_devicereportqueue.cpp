#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "devicelist/devicereportqueue.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "tests/double/voskdouble.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstring>
#include <thread>

using namespace VoskTool;
using Kind = DeviceReportQueue::Kind;

namespace {

VOSK_DEVICE_INFO makeRecord(int serial, int mac, const QByteArray &ip = "10.0.0.1")
{
    VOSK_DEVICE_INFO r;
    std::memset(&r, 0, sizeof r);
    VOSK::setFieldBytes(r.serialNumber, "SN" + QByteArray::number(serial));
    VOSK::setFieldBytes(r.mac, "mac-" + QByteArray::number(mac));
    VOSK::setFieldBytes(r.ipv4Address, ip);
    r.notActivated = static_cast<quint8>(serial % 2);
    return r;
}

// What a sink received, one entry per call: the kind and the serials.
struct Log
{
    QList<QPair<Kind, QStringList>> calls;

    DeviceReportQueue::Sink sink()
    {
        DeviceReportQueue::Sink s;
        s.online = [this](const QVector<VOSK_DEVICE_INFO> &run) {
            QStringList serials;
            for (const VOSK_DEVICE_INFO &r : run)
                serials << VOSK::fieldText(r.serialNumber);
            calls.append({Kind::Online, serials});
        };
        s.offline = [this](const VOSK_DEVICE_INFO &r) {
            calls.append({Kind::Offline, {VOSK::fieldText(r.serialNumber)}});
        };
        s.update = [this](const VOSK_DEVICE_INFO &r) {
            calls.append({Kind::Update, {VOSK::fieldText(r.serialNumber)}});
        };
        return s;
    }

    // Every report in delivery order, as "kind:serial".
    QStringList flat() const
    {
        QStringList out;
        for (const auto &call : calls) {
            for (const QString &serial : call.second)
                out << QString::number(int(call.first)) + QLatin1Char(':') + serial;
        }
        return out;
    }
};

QStringList tableRows(const DeviceInfoModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.index(row, column).data().toString();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

} // namespace

class TestDeviceReportQueue final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void init()
    {
        VoskDouble::reset();
        DeviceStore::instance()->clear();
    }

    void cleanup() { VOSK::VoskHandler::instance()->stop(); }

    // Reports from another thread come out in the order they went in, the
    // online ones in runs no longer than the run length, and a turn with no
    // budget hands over one call only.
    void foreignReportsKeepOrderInRuns()
    {
        Log log;
        DeviceReportQueue queue(log.sink());
        queue.setRunLength(4);
        queue.setTurnBudget(std::chrono::microseconds(0));
        QStringList expected;
        std::thread producer([&] {
            for (int i = 0; i < 10; ++i)
                queue.push(Kind::Online, makeRecord(i, i));
            queue.push(Kind::Update, makeRecord(3, 3));
            queue.push(Kind::Offline, makeRecord(4, 4));
            for (int i = 10; i < 13; ++i)
                queue.push(Kind::Online, makeRecord(i, i));
        });
        producer.join();
        for (int i = 0; i < 10; ++i)
            expected << QStringLiteral("0:SN%1").arg(i);
        expected << QStringLiteral("2:SN3") << QStringLiteral("1:SN4");
        for (int i = 10; i < 13; ++i)
            expected << QStringLiteral("0:SN%1").arg(i);
        QCOMPARE(queue.pending(), 15);

        // Nothing before the event loop runs; a turn without budget leaves
        // the rest for later turns.
        QVERIFY(log.calls.isEmpty());
        QCoreApplication::processEvents();
        QVERIFY(!log.calls.isEmpty());
        QVERIFY(queue.pending() > 0);
        QTRY_COMPARE(queue.pending(), 0);
        QCOMPARE(log.flat(), expected);
        QList<int> runSizes;
        for (const auto &call : log.calls)
            runSizes << int(call.second.size());
        QCOMPARE(runSizes, (QList<int>{4, 4, 2, 1, 1, 3}));
    }

    // A report made on the queue's own thread is handled before the call
    // returns, after what was queued before it: the direct call it was.
    void ownThreadReportIsDeliveredAtOnce()
    {
        Log log;
        DeviceReportQueue queue(log.sink());
        std::thread([&] { queue.push(Kind::Online, makeRecord(1, 1)); }).join();
        queue.push(Kind::Offline, makeRecord(1, 1));
        QCOMPARE(log.flat(), (QStringList{QStringLiteral("0:SN1"), QStringLiteral("1:SN1")}));
        QCoreApplication::processEvents();
        QCOMPARE(log.calls.size(), 2);
    }

    void discardDropsWhatIsQueued()
    {
        Log log;
        DeviceReportQueue queue(log.sink());
        std::thread([&] {
            for (int i = 0; i < 5; ++i)
                queue.push(Kind::Online, makeRecord(i, i));
        }).join();
        queue.discard();
        QCOMPARE(queue.pending(), 0);
        QCoreApplication::processEvents();
        QVERIFY(log.calls.isEmpty());
        // The queue still works afterwards.
        std::thread([&] { queue.push(Kind::Online, makeRecord(7, 7)); }).join();
        QTRY_COMPARE(log.flat(), QStringList{QStringLiteral("0:SN7")});
    }

    // Every queue listening to the handler gets each report; one that has
    // stopped gets none, and can listen again.
    void listeningAndStopping()
    {
        VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
        QVERIFY(handler->start());
        const auto fire = [](int serial, int event) {
            VOSK_DEVICE_INFO r = makeRecord(serial, serial);
            r.event = event;
            VoskDouble::fire(r);
        };
        Log first;
        Log second;
        DeviceReportQueue one(first.sink());
        DeviceReportQueue two(second.sink());
        one.listenTo(handler);
        two.listenTo(handler);
        fire(1, VOSK_EVENT_ONLINE);
        fire(1, VOSK_EVENT_UPDATED);
        QTRY_COMPARE(first.flat(), (QStringList{QStringLiteral("0:SN1"), QStringLiteral("2:SN1")}));
        QTRY_COMPARE(second.flat(), first.flat());

        one.stopListening();
        fire(2, VOSK_EVENT_OFFLINE);
        QTRY_COMPARE(second.calls.size(), 3);
        QCOMPARE(one.pending(), 0);
        QCOMPARE(first.calls.size(), 2);

        one.listenTo(handler);
        fire(3, VOSK_EVENT_ONLINE);
        QTRY_COMPARE(first.calls.size(), 3);
        QCOMPARE(first.flat().constLast(), QStringLiteral("0:SN3"));
    }

    // The library's thread may still be reporting while the page and its
    // queue go away: the reports are dropped, nothing is touched.
    void reportsRacingDestructionAreDropped()
    {
        VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
        QVERIFY(handler->start());
        std::atomic<bool> stop{false};
        std::thread reporter([&] {
            VOSK_DEVICE_INFO r = makeRecord(1, 1);
            r.event = VOSK_EVENT_ONLINE;
            while (!stop)
                VoskDouble::fire(r);
        });
        for (int round = 0; round < 20; ++round) {
            Log log;
            auto *queue = new DeviceReportQueue(log.sink());
            queue->listenTo(handler);
            QTest::qWait(1);
            delete queue;
            QCoreApplication::processEvents();
        }
        stop = true;
        reporter.join();
    }

    // The page fed through its queue ends with the same rows, in the same
    // order, the same count, the same identity marks and the same selection
    // as the page fed one direct call per report: repeated devices, other
    // devices with a repeated MAC, an offline report between two runs and
    // updates included.
    void pageThroughQueueMatchesDirectCalls()
    {
        const QString config = m_dir.filePath(QStringLiteral("ColumnConfig.xml"));
        QList<QPair<int, VOSK_DEVICE_INFO>> reports;
        // 0..249 once; then 25 of them again (dropped) and 25 other devices
        // announcing one of their MACs (listed, and marked with it).
        for (int i = 0; i < 300; ++i)
            reports.append({VOSK_EVENT_ONLINE, makeRecord(i >= 250 && i % 2 ? i % 250 : i, i % 250)});
        reports.append({VOSK_EVENT_OFFLINE, makeRecord(7, 7)});
        reports.append({VOSK_EVENT_UPDATED, makeRecord(8, 8, "10.9.9.9")});
        for (int i = 300; i < 320; ++i)
            reports.append({VOSK_EVENT_ONLINE, makeRecord(i, i)});
        reports.append({VOSK_EVENT_ONLINE, makeRecord(7, 7)});

        DeviceDisplayPage direct(config, nullptr);
        for (const auto &report : reports) {
            if (report.first == VOSK_EVENT_ONLINE)
                direct.onDeviceLogin(report.second);
            else if (report.first == VOSK_EVENT_OFFLINE)
                direct.onDeviceLogout(report.second);
            else
                direct.onDeviceUpdate(report.second);
        }
        const QStringList expectedRows = tableRows(*direct.model());
        const QString expectedCount = direct.findChild<QLabel *>(QStringLiteral("m_labelDeviceCountValue"))->text();
        QCOMPARE(expectedRows.size(), 295);
        const auto marks = [](const DeviceInfoModel &model) {
            QVector<bool> marked;
            for (int row = 0; row < model.rowCount(); ++row)
                marked << model.isAmbiguous(row);
            return marked;
        };
        const QVector<bool> expectedMarks = marks(*direct.model());
        QCOMPARE(expectedMarks.count(true), 50);

        DeviceStore::instance()->clear();
        DeviceDisplayPage queued(config, nullptr);
        QSignalSpy selections(&queued, &DeviceDisplayPage::signalCurrentSelectionModelChange);
        queued.reportQueue()->setTurnBudget(std::chrono::microseconds(0));
        queued.listenTo(VOSK::VoskHandler::instance());
        QVERIFY(VOSK::VoskHandler::instance()->start());
        for (auto report : reports) {
            report.second.event = report.first;
            VoskDouble::fire(report.second);
        }
        QTRY_COMPARE(queued.reportQueue()->pending(), 0);
        QCOMPARE(tableRows(*queued.model()), expectedRows);
        QCOMPARE(marks(*queued.model()), expectedMarks);
        QCOMPARE(queued.findChild<QLabel *>(QStringLiteral("m_labelDeviceCountValue"))->text(), expectedCount);
        // One offline report: one selection, the empty one.
        QCOMPARE(selections.count(), 1);
        QVERIFY(selections.first().at(1).value<QVector<DeviceInfo>>().isEmpty());
    }
};

QTEST_MAIN(TestDeviceReportQueue)
#include "tst_devicereportqueue.moc"
