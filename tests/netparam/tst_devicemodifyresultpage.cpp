#include "netparam/devicemodifyresultpage.h"

#include <QLabel>
#include <QStandardItemModel>
#include <QTest>

using VoskTool::DeviceModifyResultPage;

class tst_DeviceModifyResultPage final : public QObject
{
    Q_OBJECT

    static DeviceInfo device(const char *id, const char *result)
    {
        DeviceInfo info;
        info.id = QLatin1String(id);
        info.deviceType = QStringLiteral("VC-2120A");
        info.ipv4Address = QStringLiteral("10.1.1.%1").arg(QLatin1String(id));
        info.serialNumber = QStringLiteral("VS%1").arg(QLatin1String(id));
        info.mac = QStringLiteral("02-5e-00-00-00-%1").arg(QLatin1String(id));
        info.result = QLatin1String(result);
        return info;
    }

    static QString label(const DeviceModifyResultPage &page, const char *name)
    {
        return page.findChild<QLabel *>(QLatin1String(name))->text();
    }

private Q_SLOTS:
    void rows_data()
    {
        QTest::addColumn<QVector<DeviceInfo>>("devices");
        QTest::addColumn<bool>("activation");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("failed");

        QTest::newRow("empty") << QVector<DeviceInfo>() << false << "Devices Number: 0" << "Failed Number: 0";
        QTest::newRow("all succeeded") << QVector<DeviceInfo>{device("001", "Succeed"), device("002", "Succeed")}
                                       << false << "Devices Number: 2" << "Failed Number: 0";
        QTest::newRow("one time-out") << QVector<DeviceInfo>{device("001", "Succeed"), device("002", "Error2011:time out")}
                                      << false << "Devices Number: 2" << "Failed Number: 1";
        QTest::newRow("activation") << QVector<DeviceInfo>{device("001", "Error2021:reactive"), device("002", "Succeed"),
                                                           device("003", "Succeed")}
                                    << true << "Batch activate devices 3" << "Activate fail numbers 1";
    }

    void rows()
    {
        QFETCH(QVector<DeviceInfo>, devices);
        QFETCH(bool, activation);
        QFETCH(QString, total);
        QFETCH(QString, failed);

        DeviceModifyResultPage page;
        if (activation) {
            page.setResultColumnTitle(DeviceModifyResultPage::ColumnResult, QStringLiteral("Activation"));
            page.setTotalLabelText(QStringLiteral("Batch activate devices"));
            page.setFailedLabelText(QStringLiteral("Activate fail numbers"));
        }
        page.setResults(devices);
        QCOMPARE(label(page, "m_labelDeviceAll"), total);
        QCOMPARE(label(page, "m_labelDeviceFail"), failed);
        QCOMPARE(page.model()->headerData(DeviceModifyResultPage::ColumnResult, Qt::Horizontal).toString(),
                 activation ? QStringLiteral("Activation") : QStringLiteral("Modification"));
        QCOMPARE(page.model()->rowCount(), devices.size());
        for (int row = 0; row < devices.size(); ++row) {
            const DeviceInfo &d = devices.at(row);
            QCOMPARE(page.model()->item(row, DeviceModifyResultPage::ColumnIpv4)->text(), d.ipv4Address);
            QCOMPARE(page.model()->item(row, DeviceModifyResultPage::ColumnSerial)->text(), d.serialNumber);
            const QStandardItem *result = page.model()->item(row, DeviceModifyResultPage::ColumnResult);
            // Success shows its icon alone; a failure keeps its text beside the error icon.
            QCOMPARE(result->text(), d.result == QLatin1String("Succeed") ? QString() : d.result);
            QVERIFY(!result->icon().isNull());
        }
    }
};

QTEST_MAIN(tst_DeviceModifyResultPage)
#include "tst_devicemodifyresultpage.moc"
