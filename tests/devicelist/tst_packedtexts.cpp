// Texts packed into one byte array come back exactly, whatever they hold.

#include "devicelist/packedtexts.h"

#include <QTest>

using VoskTool::PackedTexts;

class TestPackedTexts final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QStringList>("texts");
        const QString nul(1, QChar(0));
        QTest::newRow("none") << QStringList();
        QTest::newRow("one empty") << QStringList{QString()};
        QTest::newRow("empty between others") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
        QTest::newRow("repeated") << QStringList{QStringLiteral("V5.5.0"), QStringLiteral("V5.5.0")};
        QTest::newRow("Latin-1 beyond ASCII") << QStringList{QString::fromLatin1("caf\xe9 \xff")};
        QTest::newRow("wide") << QStringList{QStringLiteral("设备"), QStringLiteral("ok")};
        QTest::newRow("zero characters inside") << QStringList{QStringLiteral("a") + nul + QStringLiteral("b"), nul};
        QTest::newRow("surrogates, paired and lone")
            << QStringList{QString::fromUtf16(u"\U0001F600"), QString(1, QChar(0xD800))};
        // The length takes one byte up to 63 characters, more beyond.
        QTest::newRow("63 and 64 characters") << QStringList{QString(63, u'x'), QString(64, u'y'), QStringLiteral("z")};
        QTest::newRow("very long") << QStringList{QString(100000, u'l'), QString(20000, QChar(0x4E2D)),
                                                  QStringLiteral("end")};
    }

    void roundTrip()
    {
        QFETCH(QStringList, texts);
        QByteArray packed;
        for (const QString &text : texts)
            PackedTexts::append(packed, text);
        QCOMPARE(PackedTexts::count(packed), texts.size());
        for (int i = 0; i < texts.size(); ++i) {
            const QString text = PackedTexts::at(packed, i);
            QCOMPARE(text, texts.at(i));
            QCOMPARE(text.isNull(), texts.at(i).isEmpty());
        }
        QVERIFY(PackedTexts::at(packed, int(texts.size())).isNull());

        // Cut anywhere, the array yields the texts before the cut and
        // nothing read beyond it.
        for (qsizetype cut = 0; cut < std::min<qsizetype>(packed.size(), 200); ++cut) {
            const QByteArray part = packed.left(cut);
            const int whole = PackedTexts::count(part);
            QVERIFY(whole <= texts.size());
            for (int i = 0; i < whole; ++i)
                QCOMPARE(PackedTexts::at(part, i), texts.at(i));
        }
    }

    // Equal texts pack to equal bytes and different ones to different
    // bytes: packed keys can be compared and hashed as bytes.
    void equalTextsPackEqually()
    {
        const QStringList texts{QString(), QStringLiteral("a"), QStringLiteral("ab"), QString::fromLatin1("\xe9"),
                                QString(1, QChar(0xE9)), QString(1, QChar(0x1E9)), QStringLiteral("设"),
                                QString(1, QChar(0)), QString(2, QChar(0))};
        for (const QString &a : texts) {
            for (const QString &b : texts) {
                QByteArray pa, pb;
                PackedTexts::append(pa, a);
                PackedTexts::append(pa, QStringLiteral("k"));
                PackedTexts::append(pb, b);
                PackedTexts::append(pb, QStringLiteral("k"));
                QCOMPARE(pa == pb, a == b);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestPackedTexts)
#include "tst_packedtexts.moc"
