#include "aptui/cipstandarditem.h"

#include <QTest>

class TestCIpStandardItem final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ipLessThan_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<bool>("less");
        QTest::newRow("9 < 10 in last octet") << QStringLiteral("192.168.1.9") << QStringLiteral("192.168.1.10") << true;
        QTest::newRow("10 > 9") << QStringLiteral("192.168.1.10") << QStringLiteral("192.168.1.9") << false;
        QTest::newRow("first octet") << QStringLiteral("9.255.255.255") << QStringLiteral("10.0.0.1") << true;
        QTest::newRow("equal") << QStringLiteral("10.0.0.1") << QStringLiteral("10.0.0.1") << false;
        QTest::newRow("empty first") << QString() << QStringLiteral("0.0.0.1") << true;
        QTest::newRow("missing pieces are 0") << QStringLiteral("10.1") << QStringLiteral("10.1.0.1") << true;
        QTest::newRow("leading digits only") << QStringLiteral("10.2x.0.0") << QStringLiteral("10.3.0.0") << true;
        QTest::newRow("no digits is 0") << QStringLiteral("abc.1.1.1") << QStringLiteral("1.0.0.0") << true;
        QTest::newRow("fifth piece ignored") << QStringLiteral("1.2.3.4.9") << QStringLiteral("1.2.3.4") << false;
    }

    void ipLessThan()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(bool, less);
        const aptui::CIpStandardItem a(left);
        const aptui::CIpStandardItem b(right);
        QCOMPARE(a < b, less);
        const QStandardItem plain(right);
        QCOMPARE(a < plain, less);
    }
};

QTEST_MAIN(TestCIpStandardItem)
#include "tst_cipstandarditem.moc"
