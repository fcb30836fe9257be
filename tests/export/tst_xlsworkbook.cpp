// What the readers do not check: sheet names, limits, and that every record
// stays within the format's bounds and points where it should.

#include "export/xlsworkbook.h"

#include <QTest>
#include <QtEndian>

using VoskTool::XlsWorkbook;

namespace {

struct Record
{
    int offset; // in the workbook stream
    quint16 id;
    QByteArray data;
};

// The records of the workbook stream, which this writer puts at sector 0.
QList<Record> records(const QByteArray &file)
{
    QList<Record> list;
    const QByteArray stream = file.mid(512);
    int at = 0;
    int eofs = 0;
    while (eofs < 2 && at + 4 <= stream.size()) {
        const quint16 id = qFromLittleEndian<quint16>(stream.constData() + at);
        const quint16 length = qFromLittleEndian<quint16>(stream.constData() + at + 2);
        list.append({at, id, stream.mid(at + 4, length)});
        at += 4 + length;
        if (id == 0x000A)
            ++eofs;
    }
    return list;
}

} // namespace

class TestXlsWorkbook final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sheetNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sheet");
        QTest::newRow("plain") << QStringLiteral("devices") << QStringLiteral("devices");
        QTest::newRow("Chinese") << QStringLiteral("设备列表") << QStringLiteral("设备列表");
        QTest::newRow("32 characters") << QString(32, QLatin1Char('x')) << QString(31, QLatin1Char('x'));
        QTest::newRow("forbidden characters") << QStringLiteral("a:b/c\\d?e*f[g]h") << QStringLiteral("a_b_c_d_e_f_g_h");
        QTest::newRow("apostrophes at the ends") << QStringLiteral("'site'") << QStringLiteral("site");
        QTest::newRow("apostrophe inside") << QStringLiteral("site's") << QStringLiteral("site's");
        QTest::newRow("only apostrophes") << QStringLiteral("''") << QStringLiteral("Sheet1");
        QTest::newRow("empty") << QString() << QStringLiteral("Sheet1");
        QTest::newRow("pair across the limit") << QString(30, QLatin1Char('x')) + QStringLiteral("\U0001F600")
                                               << QString(30, QLatin1Char('x'));
        QTest::newRow("apostrophe after the cut") << QString(30, QLatin1Char('x')) + QStringLiteral("'y")
                                                  << QString(30, QLatin1Char('x'));
    }

    void sheetNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, sheet);
        QCOMPARE(XlsWorkbook::sheetNameFor(name), sheet);
    }

    void limits()
    {
        XlsWorkbook book(QStringLiteral("s"));
        QVERIFY(!book.addRow(QStringList(XlsWorkbook::MaxColumns + 1, QStringLiteral("x"))));
        QVERIFY(book.addRow(QStringList(XlsWorkbook::MaxColumns, QStringLiteral("x"))));
        QVERIFY(!book.addRow({QString(XlsWorkbook::MaxCellLength + 1, QLatin1Char('x'))}));
        QVERIFY(book.addRow({QString(XlsWorkbook::MaxCellLength, QLatin1Char('x'))}));
        while (book.rowCount() < XlsWorkbook::MaxRows)
            QVERIFY(book.addRow({QStringLiteral("r")}));
        QVERIFY(!book.addRow({QStringLiteral("one too many")}));
        QCOMPARE(book.rowCount(), XlsWorkbook::MaxRows);
    }

    void recordsStayInBounds()
    {
        XlsWorkbook book(QStringLiteral("sheet"));
        QVERIFY(book.addRow({QStringLiteral("a"), QStringLiteral("b")}));
        for (int r = 0; r < 3000; ++r)
            QVERIFY(book.addRow({QStringLiteral("row %1").arg(r), QStringLiteral("单元格 %1").arg(r)}));
        const QByteArray file = book.toByteArray();
        QVERIFY(file.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)));
        QCOMPARE(file.size() % 512, 0);

        const QList<Record> list = records(file);
        int fonts = 0;
        int xfs = 0;
        int cells = 0;
        quint32 sheetOffset = 0;
        quint32 unique = 0;
        for (const Record &record : list) {
            QVERIFY(record.data.size() <= 8224);
            switch (record.id) {
            case 0x0031: ++fonts; break;
            case 0x00E0: ++xfs; break;
            case 0x0085: sheetOffset = qFromLittleEndian<quint32>(record.data.constData()); break;
            case 0x00FC: unique = qFromLittleEndian<quint32>(record.data.constData() + 4); break;
            case 0x00FD:
                ++cells;
                QCOMPARE(qFromLittleEndian<quint16>(record.data.constData() + 4), quint16(15));
                QVERIFY(qFromLittleEndian<quint32>(record.data.constData() + 6) < unique);
                break;
            default: break;
            }
        }
        QCOMPARE(fonts, 5);
        QCOMPARE(xfs, 16);
        QCOMPARE(cells, 2 * 3001);
        QCOMPARE(unique, quint32(2 + 2 * 3000));
        // The sheet's offset points at its BOF, of the worksheet type.
        const auto bof = std::find_if(list.cbegin(), list.cend(),
                                      [&](const Record &r) { return r.offset == int(sheetOffset); });
        QVERIFY(bof != list.cend());
        QCOMPARE(bof->id, quint16(0x0809));
        QCOMPARE(qFromLittleEndian<quint16>(bof->data.constData() + 2), quint16(0x0010));
    }
};

QTEST_APPLESS_MAIN(TestXlsWorkbook)
#include "tst_xlsworkbook.moc"
