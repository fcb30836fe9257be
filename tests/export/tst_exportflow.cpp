// Export end to end: a simulated fleet found by the real library fills the
// device table; the checked devices are saved through the table's export
// button and the workbook is read back with python3-xlrd, whose cell types
// come out as JSON types (a number cell as a number, a text as a string).
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "export/devicesinfosavepage.h"
#include "aptui/warningdialog.h"
#include "tests/support/modaldriver.h"
#include "tests/support/tablepage.h"
#include "tests/vosk/voskfixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace VoskTest;
using namespace VoskTool;

namespace {

constexpr int kCount = 12;

const char kReadBack[] = R"PY(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_index(0)
json.dump([book.sheet_names()] + [[sheet.cell_value(r, c) for c in range(sheet.ncols)] for r in range(sheet.nrows)],
          sys.stdout)
)PY";

} // namespace

class TestExportFlow final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Devsim m_devsim;
    std::unique_ptr<QWidget> m_host;
    DeviceDisplayPage *m_page = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        pinToLoopback(47251, "239.255.86.151");
        m_host = std::make_unique<QWidget>();
        m_page = TestSupport::listeningTablePage(m_dir, QStringLiteral(VOSKTOOL_SHIPPED_COLUMN_CONFIG), m_host.get());
        QVERIFY(m_page);
        // What the main window does with the page's request.
        connect(m_page, &DeviceDisplayPage::signalExportRequested, m_page,
                [this] { DevicesInfoSavePage::exportRows(m_page->model(), m_page->checkedRows(), m_page); });
        VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QStringLiteral("31")}));
        QVERIFY(handler->start());
        QTRY_COMPARE_WITH_TIMEOUT(m_page->model()->rowCount(), kCount, 30000);
    }

    void cleanupTestCase()
    {
        VOSK::VoskHandler::instance()->stop();
        m_devsim.stop();
        m_host.reset();
    }

    void checkedDevicesInTableOrder()
    {
        DeviceInfoModel *model = m_page->model();
        const QList<int> checked{1, 4, 10};
        for (int row : checked)
            model->setCheckState(row, Qt::Checked);

        QString bubble;
        TestSupport::onModal([&](QDialog *dialog) {
            auto *save = qobject_cast<DevicesInfoSavePage *>(dialog);
            if (!save)
                return;
            save->findChild<QLineEdit *>(QStringLiteral("m_lineEditFilename"))->setText(QStringLiteral("站点 fleet"));
            save->findChild<QLineEdit *>(QStringLiteral("m_lineEditFilepath"))->setText(m_dir.path());
            TestSupport::onModal([&](QDialog *hint) {
                if (auto *warning = qobject_cast<WarningDialog *>(hint))
                    bubble = warning->text();
            });
            save->confirmButton()->click();
        });
        m_page->findChild<QPushButton *>(QStringLiteral("m_btnExportDeviceInfo"))->click();
        // Where it went, in full.
        QCOMPARE(bubble, QStringLiteral("Saving succeed.\n") + m_dir.filePath(QStringLiteral("站点 fleet.xls")));

        QProcess reader;
        reader.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromUtf8(kReadBack), m_dir.filePath(QStringLiteral("站点 fleet.xls"))});
        QVERIFY(reader.waitForFinished(60000));
        QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
        const QJsonArray sheet = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
        QCOMPARE(sheet.size(), 1 + 1 + checked.size());
        QCOMPARE(sheet.at(0).toArray(), QJsonArray{QStringLiteral("站点 fleet")});

        // Header: every model column but the first, by its header text.
        QJsonArray header;
        for (int c = 1; c < model->columnCount(); ++c) {
            const QString name = model->headerData(c, Qt::Horizontal).toString();
            header.append(name == QLatin1String("Serial Number") ? QStringLiteral("Device Serial Number") : name);
        }
        QCOMPARE(sheet.at(1).toArray(), header);
        QVERIFY(header.contains(QStringLiteral("Device Serial Number")));
        // Ports, HTTP ports, channel counts and prefix lengths are numbers a
        // spreadsheet can sum and sort (the table pads them: " 9000");
        // every other cell is the table's text.
        int numbers = 0;
        for (int i = 0; i < checked.size(); ++i) {
            QJsonArray row;
            for (int c = 1; c < model->columnCount(); ++c) {
                const QModelIndex index = model->index(checked.at(i), c);
                const QString text = index.data().toString();
                const bool number = !text.trimmed().isEmpty() && text.trimmed() != QLatin1String("N/A")
                    && (c == model->columnIndex(ColumnPort) || c == model->columnIndex(ColumnHttpPort)
                        || c == model->columnIndex(ColumnChannelCount)
                        || c == model->columnIndex(ColumnIpv6PrefixLength));
                numbers += number;
                row.append(number ? QJsonValue(text.trimmed().toDouble()) : QJsonValue(text));
            }
            QCOMPARE(sheet.at(2 + i).toArray(), row);
        }
        QVERIFY(numbers >= 2 * checked.size());
    }

    void onvifRowsAsTheTableShowsThem()
    {
        // An ONVIF row before sign-in beside the fleet: its cells come out as
        // the table shows them, empty where the device said nothing, and the
        // protocol in the column the file has for it at its end. Its first
        // sign-in runs as it is exported: the file keeps what the row is,
        // not the passing mark the table shows.
        VOSK_DEVICE_INFO onvif = VOSK::makeOnvifRecord(QStringLiteral("urn:uuid:export-1"));
        VOSK::setFieldBytes(onvif.ipv4Address, "127.1.0.9");
        // A hostile name: an escape sequence and a line break, which the
        // file keeps escaped as the console writes them.
        VOSK::setFieldBytes(onvif.deviceDescription, "Camera\x1b[2J 009\n");
        onvif.httpPort = 8080;
        m_page->onDeviceLogin(onvif);
        VOSK::setOnvifFlags(onvif, VOSK::OnvifSigningIn);
        m_page->onDeviceUpdate(onvif);
        DeviceInfoModel *model = m_page->model();
        QCOMPARE(model->text(model->rowOf(DeviceKey::fromRecord(onvif)), ColumnProtocol),
                 QStringLiteral("ONVIF, signing in"));
        for (int row = 0; row < model->rowCount(); ++row)
            model->setCheckState(row, Qt::Unchecked);
        const int row = model->rowOf(DeviceKey::fromRecord(onvif));
        QVERIFY(row >= 0);
        model->setCheckState(row, Qt::Checked);
        model->setCheckState(0, Qt::Checked);

        TestSupport::onModal([&](QDialog *dialog) {
            auto *save = qobject_cast<DevicesInfoSavePage *>(dialog);
            if (!save)
                return;
            save->findChild<QLineEdit *>(QStringLiteral("m_lineEditFilename"))->setText(QStringLiteral("mixed"));
            save->findChild<QLineEdit *>(QStringLiteral("m_lineEditFilepath"))->setText(m_dir.path());
            TestSupport::onModal([](QDialog *) {});
            save->confirmButton()->click();
        });
        m_page->findChild<QPushButton *>(QStringLiteral("m_btnExportDeviceInfo"))->click();

        QProcess reader;
        reader.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromUtf8(kReadBack), m_dir.filePath(QStringLiteral("mixed.xls"))});
        QVERIFY(reader.waitForFinished(60000));
        QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
        const QJsonArray sheet = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
        QCOMPARE(sheet.size(), 4);
        const QJsonArray header = sheet.at(1).toArray();
        const QJsonArray ours = sheet.at(2).toArray();
        const QJsonArray written = sheet.at(3).toArray();
        auto cell = [&header](const QJsonArray &line, const QString &name) {
            for (int c = 0; c < header.size(); ++c) {
                if (header.at(c).toString() == name)
                    return line.at(c).toString();
            }
            return QStringLiteral("<no column %1>").arg(name);
        };
        QCOMPARE(header.at(model->columnIndex(ColumnProtocol) - 1).toString(), QStringLiteral("Protocol"));
        QCOMPARE(cell(ours, QStringLiteral("Protocol")), QStringLiteral("VOSK"));
        QCOMPARE(cell(written, QStringLiteral("Protocol")), QStringLiteral("ONVIF"));
        QCOMPARE(cell(written, QStringLiteral("IPv4 Address")), QStringLiteral("127.1.0.9"));
        QCOMPARE(cell(written, QStringLiteral("Device Type")), QStringLiteral("Camera\\x1B[2J 009\\x0A"));
        // Not signed in: the file does not claim it activated either.
        QCOMPARE(cell(written, QStringLiteral("Activate")), QStringLiteral("Unknown until sign-in"));
        for (const char *empty : {"Device Serial Number", "MAC", "Port", "IPv4 DHCP", "Is Support DHCP"})
            QCOMPARE(cell(written, QLatin1String(empty)), QString());
        const int protocol = model->columnIndex(ColumnProtocol);
        const int type = model->columnIndex(ColumnDeviceType);
        const int http = model->columnIndex(ColumnHttpPort);
        QCOMPARE(written.at(http - 1), QJsonValue(8080));
        for (int c = 1; c < model->columnCount(); ++c) {
            if (c != protocol && c != type && c != http)
                QCOMPARE(written.at(c - 1).toString(), model->index(row, c).data().toString());
        }
        m_page->onDeviceLogout(onvif);
    }
};

QTEST_MAIN(TestExportFlow)
#include "tst_exportflow.moc"
