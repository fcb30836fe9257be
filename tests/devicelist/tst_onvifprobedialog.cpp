#include "devicelist/onvifprobedialog.h"

#include <QPushButton>
#include <QTest>

using namespace VoskTool;
using InputError = OnvifProbeDialog::InputError;

class TestOnvifProbeDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("error");
        QTest::addColumn<QStringList>("expected"); // first, last, when parsed
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("offending");

        auto ok = [](const char *name, const QString &text, const QString &first, const QString &last, int count) {
            QTest::newRow(name) << text << int(InputError::None) << QStringList{first, last} << count << QString();
        };
        auto bad = [](const char *name, const QString &text, InputError error, const QString &entry) {
            QTest::newRow(name) << text << int(error) << QStringList() << 0 << entry;
        };
        ok("one address", QStringLiteral("192.168.2.64"), QStringLiteral("192.168.2.64"),
           QStringLiteral("192.168.2.64"), 1);
        ok("range", QStringLiteral("192.168.2.10-192.168.2.20"), QStringLiteral("192.168.2.10"),
           QStringLiteral("192.168.2.20"), 11);
        ok("range with spaces", QStringLiteral(" 10.0.0.250 - 10.0.1.4 "), QStringLiteral("10.0.0.250"),
           QStringLiteral("10.0.1.4"), 11);
        ok("list, repeats once", QStringLiteral("10.0.0.1, 10.0.0.2;10.0.0.1 10.0.0.1-10.0.0.3"),
           QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.3"), 3);
        ok("range of one", QStringLiteral("10.0.0.9-10.0.0.9"), QStringLiteral("10.0.0.9"),
           QStringLiteral("10.0.0.9"), 1);
        ok("the most", QStringLiteral("10.0.0.0-10.0.15.255"), QStringLiteral("10.0.0.0"),
           QStringLiteral("10.0.15.255"), OnvifProbeDialog::kMaxAddresses);

        bad("empty", QStringLiteral("  , "), InputError::Empty, QString());
        bad("name", QStringLiteral("camera.local"), InputError::NotIpv4, QStringLiteral("camera.local"));
        bad("IPv6", QStringLiteral("fe80::1"), InputError::NotIpv4, QStringLiteral("fe80::1"));
        bad("short form", QStringLiteral("10.1"), InputError::NotIpv4, QStringLiteral("10.1"));
        bad("octet too big", QStringLiteral("10.0.0.256"), InputError::NotIpv4, QStringLiteral("10.0.0.256"));
        bad("half a range", QStringLiteral("10.0.0.1-"), InputError::NotIpv4, QStringLiteral("10.0.0.1-"));
        bad("range end short", QStringLiteral("10.0.0.1-20"), InputError::NotIpv4, QStringLiteral("10.0.0.1-20"));
        bad("two dashes", QStringLiteral("10.0.0.1-10.0.0.2-10.0.0.3"), InputError::NotIpv4,
            QStringLiteral("10.0.0.1-10.0.0.2-10.0.0.3"));
        bad("bad after good", QStringLiteral("10.0.0.1, x"), InputError::NotIpv4, QStringLiteral("x"));
        bad("reversed", QStringLiteral("10.0.0.20-10.0.0.10"), InputError::Reversed,
            QStringLiteral("10.0.0.20-10.0.0.10"));
        bad("one too many", QStringLiteral("10.0.0.0-10.0.16.0"), InputError::TooMany,
            QStringLiteral("10.0.0.0-10.0.16.0"));
        bad("whole space", QStringLiteral("0.0.0.0-255.255.255.255"), InputError::TooMany,
            QStringLiteral("0.0.0.0-255.255.255.255"));
        bad("too many together", QStringLiteral("10.0.0.0-10.0.15.255, 10.1.0.0"), InputError::TooMany,
            QStringLiteral("10.1.0.0"));
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, error);
        QFETCH(QStringList, expected);
        QFETCH(int, count);
        QFETCH(QString, offending);
        QList<QHostAddress> addresses{QHostAddress(QStringLiteral("1.2.3.4"))};
        QString entry;
        QCOMPARE(int(OnvifProbeDialog::parse(text, &addresses, &entry)), error);
        QCOMPARE(int(addresses.size()), count);
        if (error != int(InputError::None)) {
            QCOMPARE(entry, offending);
            return;
        }
        QCOMPARE(addresses.first().toString(), expected.at(0));
        QCOMPARE(addresses.last().toString(), expected.at(1));
    }

    void confirmAcceptsOnlyWhatParses()
    {
        OnvifProbeDialog dialog;
        dialog.setText(QStringLiteral("10.0.0.20-10.0.0.10"));
        dialog.confirmButton()->click();
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(dialog.complaint().contains(QStringLiteral("10.0.0.20-10.0.0.10")));
        QVERIFY(dialog.addresses().isEmpty());
        dialog.setText(QStringLiteral("10.0.0.10-10.0.0.12"));
        dialog.confirmButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.addresses().size(), 3);
        QVERIFY(dialog.complaint().isEmpty());
    }
};

QTEST_MAIN(TestOnvifProbeDialog)
#include "tst_onvifprobedialog.moc"
