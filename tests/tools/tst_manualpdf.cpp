// The user manuals as the program finds them beside itself, read back with
// poppler's pdftotext: every heading of the Markdown source is in the PDF
// of its language, the Chinese one with its CJK font embedded.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000))
        return QString();
    if (exitCode)
        *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text as a reader copies it out of the PDF (so an ideograph given as
// its Kangxi radical look-alike does not match). Line breaks inside a
// heading become blanks; Latin ligatures ("ﬁ") are spelt out.
QString pdfText(const QString &pdf)
{
    const QString text = run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                                                           QStringLiteral("-")});
    QString spelt;
    for (const QChar c : text)
        spelt += (c.unicode() >= 0xFB00 && c.unicode() <= 0xFB06) ? QString(c).normalized(QString::NormalizationForm_KC) : QString(c);
    return spelt.simplified();
}

QStringList headings(const QString &markdownPath)
{
    QFile file(markdownPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList found;
    static const QRegularExpression heading(QStringLiteral("^#{1,3} (.+)$"), QRegularExpression::MultilineOption);
    for (auto it = heading.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();)
        found.append(it.next().captured(1).trimmed());
    return found;
}

} // namespace

class TestManualPdf final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QFAIL("pdftotext is needed (poppler-utils, see scripts/packages.txt)");
    }

    void headingsInTheirLanguage_data()
    {
        QTest::addColumn<QString>("pdf");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("otherSource");
        QTest::newRow("English") << QStringLiteral("VOSK User Manual.pdf") << QStringLiteral("manual_en.md")
                                 << QStringLiteral("manual_zh.md");
        QTest::newRow("Chinese") << QStringLiteral("VOSK用户手册.pdf") << QStringLiteral("manual_zh.md")
                                 << QStringLiteral("manual_en.md");
    }

    void headingsInTheirLanguage()
    {
        QFETCH(QString, pdf);
        QFETCH(QString, source);
        QFETCH(QString, otherSource);
        const QString text = pdfText(QDir(QStringLiteral(VOSKTOOL_RUNTIME_DIR)).filePath(pdf));
        QVERIFY2(!text.isEmpty(), qPrintable(pdf));
        const QStringList wanted = headings(QDir(QStringLiteral(VOSKTOOL_MANUAL_SOURCES)).filePath(source));
        QVERIFY(wanted.size() >= 15);
        for (const QString &heading : wanted)
            QVERIFY2(text.contains(heading), qPrintable(pdf + QStringLiteral(": ") + heading));
        // Not the other language's manual under this name.
        for (const QString &heading : headings(QDir(QStringLiteral(VOSKTOOL_MANUAL_SOURCES)).filePath(otherSource))) {
            if (heading.contains(QRegularExpression(QStringLiteral("\\p{Han}|[a-z]{4}"))))
                QVERIFY2(!text.contains(heading), qPrintable(pdf + QStringLiteral(" holds ") + heading));
        }
    }

    void chineseFontEmbedded()
    {
        const QString fonts = run(QStringLiteral("pdffonts"),
                                  {QDir(QStringLiteral(VOSKTOOL_RUNTIME_DIR)).filePath(QStringLiteral("VOSK用户手册.pdf"))});
        bool cjkEmbedded = false;
        for (const QString &line : fonts.split(QLatin1Char('\n'))) {
            if (line.contains(QStringLiteral("CJK")))
                cjkEmbedded = line.contains(QStringLiteral(" yes "));
            if (cjkEmbedded)
                break;
        }
        QVERIFY2(cjkEmbedded, qPrintable(fonts));
    }

    // A manual may name screenshots still to be made: their text stands in.
    void missingImageBecomesItsText()
    {
        QTemporaryDir dir;
        QFile markdown(dir.filePath(QStringLiteral("m.md")));
        QVERIFY(markdown.open(QIODevice::WriteOnly));
        markdown.write("# Title\n\nBefore.\n\n![The pane after a change](nothere.png)\n\nAfter.\n");
        markdown.close();
        int exitCode = -1;
        const QString pdf = dir.filePath(QStringLiteral("m.pdf"));
        run(QStringLiteral(VOSKTOOL_MANUALPDF), {markdown.fileName(), pdf}, &exitCode);
        QCOMPARE(exitCode, 0);
        QVERIFY(pdfText(pdf).contains(QStringLiteral("Before. [The pane after a change] After.")));
        QVERIFY(!QFile::exists(pdf + QStringLiteral(".partial")));
    }
};

QTEST_GUILESS_MAIN(TestManualPdf)
#include "tst_manualpdf.moc"
