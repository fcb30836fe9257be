#include "aptui/cgenericds.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using TarnGUIToolkit::CGenericDS;

class TestCGenericDS final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("doc.xml"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void walksElementsOnly()
    {
        CGenericDS root;
        QVERIFY(root.LoadXML(write("<?xml version=\"1.0\"?>\n<Root>text<!-- note --><A><Value>1</Value></A>"
                                   "<?pi x?><B><Value>two</Value></B><A><Value>3</Value></A></Root>")));
        QCOMPARE(root.GetName(), QStringLiteral("Root"));
        QCOMPARE(root.GetChildrenCount(), 3);
        QCOMPARE(root.GetChild(1).GetName(), QStringLiteral("B"));
        QCOMPARE(root.GetChild(1).GetChildByName(QStringLiteral("Value")).GetValue(), QStringLiteral("two"));
        // The first of two same-named children.
        QCOMPARE(root.GetChildByName(QStringLiteral("A")).GetChildByName(QStringLiteral("Value")).GetValue(),
                 QStringLiteral("1"));
        QVERIFY(root.GetChild(3).IsNull());
        QVERIFY(root.GetChild(-1).IsNull());
        // Any order of indexes, after walking forward and past the end.
        QStringList values;
        for (int index : {2, 0, 2, 1, 5, 1, 0})
            values << root.GetChild(index).GetChildByName(QStringLiteral("Value")).GetValue();
        QCOMPARE(values, (QStringList{QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("3"),
                                      QStringLiteral("two"), QString(), QStringLiteral("two"), QStringLiteral("1")}));
        QVERIFY(root.GetChildByName(QStringLiteral("a")).IsNull());
        // A null node answers everything with nothing.
        const CGenericDS none = root.GetChildByName(QStringLiteral("Missing")).GetChild(0);
        QVERIFY(none.IsNull());
        QCOMPARE(none.GetChildrenCount(), 0);
        QVERIFY(none.GetValue().isEmpty());
        QVERIFY(none.GetName().isEmpty());
    }

    void copiesOutliveTheRoot()
    {
        CGenericDS child;
        {
            CGenericDS root;
            QVERIFY(root.LoadXML(write("<R><Skin><Value>CommonSkin</Value></Skin></R>")));
            child = root.GetChild(0);
        }
        QCOMPARE(child.GetChildByName(QStringLiteral("Value")).GetValue(), QStringLiteral("CommonSkin"));
    }

    void failureKeepsTheOldTree_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("unclosed") << QByteArray("<R><A></R>");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("text only") << QByteArray("hello");
        QTest::newRow("oversized") << QByteArray("<R>") + QByteArray(CGenericDS::kMaxFileSize, ' ') + "</R>";
    }
    void failureKeepsTheOldTree()
    {
        QFETCH(QByteArray, content);
        CGenericDS root;
        QVERIFY(root.LoadXML(write("<Good><A/></Good>")));
        QVERIFY(!root.LoadXML(write(content)));
        QCOMPARE(root.GetName(), QStringLiteral("Good"));
        QVERIFY(!CGenericDS().LoadXML(m_dir.filePath(QStringLiteral("missing.xml"))));
    }

    // A file without a size (a device, a pipe) is read only up to the
    // limit, not to its end.
    void endlessFileIsRefused()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/zero")))
            QSKIP("no /dev/zero");
        CGenericDS root;
        QVERIFY(root.LoadXML(write("<Good/>")));
        QVERIFY(!root.LoadXML(QStringLiteral("/dev/zero")));
        QCOMPARE(root.GetName(), QStringLiteral("Good"));
    }
};

QTEST_GUILESS_MAIN(TestCGenericDS)
#include "tst_cgenericds.moc"
