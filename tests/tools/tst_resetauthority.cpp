// The reset service's answers and security codes: bound to one device and
// one reset key, signed or MACed, expiring, found inside the texts the
// dialogs pass on (QR text, key file, answer file).

#include "tools/resetsvc/resetauthority.h"

#include <QTest>

using VoskReset::ResetAuthority;

namespace {

ResetAuthority::DeviceKey sampleKey(int style = 2)
{
    ResetAuthority::DeviceKey key;
    key.style = style;
    key.serial = "VC-2120A000700001";
    key.mac = "02-5e-07-00-00-01";
    key.keyId = QByteArray(16, '\x5a');
    key.issued = 1'796'000'000;
    return key;
}

} // namespace

class TestResetAuthority final : public QObject
{
    Q_OBJECT

private:
    const ResetAuthority m_authority;

private Q_SLOTS:
    void deviceKeyIsFoundInWhatTheDialogsPassOn_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("style");
        const QByteArray v1 = ResetAuthority::encodeDeviceKey(sampleKey(1));
        const QByteArray v2 = ResetAuthority::encodeDeviceKey(sampleKey(2));
        QTest::newRow("key file") << v2 << 2;
        QTest::newRow("new-style QR text") << "VC-2120A**" + v2 << 2;
        QTest::newRow("old-style QR text") << "B:VC-2120A**" + v1 << 1;
        QTest::newRow("type text that looks like a key") << "V1.x**" + v1 << 1;
        QTest::newRow("empty type") << "B:**" + v1 << 1;
        // The prefix only repeats what the key says; the key's own style counts.
        QTest::newRow("prefix and key disagree") << "B:VC-2120A**" + v2 << 2;
    }

    void deviceKeyIsFoundInWhatTheDialogsPassOn()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, style);
        QVERIFY(text.size() <= 256);
        const auto key = ResetAuthority::findDeviceKey(text);
        QVERIFY(key.has_value());
        QCOMPARE(key->style, style);
        QCOMPARE(key->serial, sampleKey().serial);
        QCOMPARE(key->keyId, sampleKey().keyId);
        QCOMPARE(key->issued, sampleKey().issued);
    }

    void answerVerifiesOnlyUnchanged()
    {
        const QByteArray answer = m_authority.makeAnswer(sampleKey());
        QVERIFY(answer.size() <= 256);
        const auto verified = m_authority.verifyAnswer(answer);
        QVERIFY(verified.has_value());
        QCOMPARE(verified->serial, sampleKey().serial);
        QCOMPARE(verified->keyId, sampleKey().keyId);
        QCOMPARE(verified->expires, sampleKey().issued + ResetAuthority::kKeyLifetimeSeconds);
        // Inside an answer file, with the line ends a copy may lose.
        QVERIFY(m_authority.verifyAnswer(ResetAuthority::answerFile(answer, sampleKey().serial).trimmed()));
        for (int i = 4; i < answer.size(); i += 7) {
            QByteArray changed = answer;
            changed[i] = changed[i] == 'A' ? 'B' : 'A';
            const auto result = m_authority.verifyAnswer(changed);
            QVERIFY2(!result || (result->serial == verified->serial && result->keyId == verified->keyId
                                 && result->expires == verified->expires),
                     "a changed answer verified with other content");
        }
        QVERIFY(!m_authority.verifyAnswer("RA1.AAAAAAAAAAAAAAAAAAAAAAAA"));
        QVERIFY(!m_authority.verifyAnswer(ResetAuthority::encodeDeviceKey(sampleKey())));
    }

    void securityCode_data()
    {
        QTest::addColumn<QByteArray>("qr");
        QTest::addColumn<qint64>("issued");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<qint64>("today");
        QTest::addColumn<bool>("valid");
        const qint64 day = 20'800;
        QTest::newRow("same day") << QByteArray("A:VR-5108N**VS0000000042") << day << QByteArray("VR-5108N")
                                  << QByteArray("VS0000000042") << day << true;
        QTest::newRow("next day") << QByteArray("A:VR-5108N**VS0000000042") << day << QByteArray("VR-5108N")
                                  << QByteArray("VS0000000042") << day + 1 << true;
        QTest::newRow("two days later") << QByteArray("A:VR-5108N**VS0000000042") << day << QByteArray("VR-5108N")
                                        << QByteArray("VS0000000042") << day + 2 << false;
        QTest::newRow("issued in the future") << QByteArray("A:VR-5108N**VS0000000042") << day + 1
                                              << QByteArray("VR-5108N") << QByteArray("VS0000000042") << day << false;
        QTest::newRow("another device") << QByteArray("A:VR-5108N**VS0000000042") << day << QByteArray("VR-5108N")
                                        << QByteArray("VS0000000043") << day << false;
        QTest::newRow("another type") << QByteArray("A:VR-5108N**VS0000000042") << day << QByteArray("VR-5216N")
                                      << QByteArray("VS0000000042") << day << false;
        QTest::newRow("type removed from the serial") << QByteArray("A:VC-2120A**000700001") << day
                                                      << QByteArray("VC-2120A") << QByteArray("VC-2120A000700001")
                                                      << day << true;
    }

    void securityCode()
    {
        QFETCH(QByteArray, qr);
        QFETCH(qint64, issued);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, serial);
        QFETCH(qint64, today);
        QFETCH(bool, valid);
        const QByteArray code = m_authority.makeSecurityCode(qr, issued);
        QVERIFY(!code.isEmpty());
        QVERIFY(code.size() <= 32);
        QCOMPARE(m_authority.verifySecurityCode(code, type, serial, today), valid);
    }

    void notARestoreText()
    {
        QVERIFY(m_authority.makeSecurityCode("B:VC-2120A**V1.xyz", 1).isEmpty());
        QVERIFY(m_authority.makeSecurityCode("A:VC-2120A", 1).isEmpty());
        QVERIFY(m_authority.makeSecurityCode("A:VC-2120A**", 1).isEmpty());
        QVERIFY(!m_authority.verifySecurityCode("20800-ABC", "VC", "VS1", 20800));
        QVERIFY(!m_authority.verifySecurityCode("", "VC", "VS1", 20800));
    }
};

QTEST_GUILESS_MAIN(TestResetAuthority)
#include "tst_resetauthority.moc"
