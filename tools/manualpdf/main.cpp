// Build-time helper: turns a user manual written in Markdown into a PDF.
//
//   vosk-manualpdf INPUT.md OUTPUT.pdf [--font FAMILY] [--title TITLE]
//
// Images are read relative to the Markdown file and scaled down to the
// text width; an image that is missing is replaced by its alternative text
// in italics, so a manual can name screenshots that are still to come. The
// PDF embeds the fonts it uses (give a CJK family for Chinese text).
// Exit status 0 on success, 1 on a usage or I/O error.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <cstdio>

namespace {

// The widest image, in the document's units: the text column of an A4 page
// with the margins below, as print() lays it out.
constexpr qreal kTextWidth = 520;

int fail(const QString &message)
{
    std::fprintf(stderr, "vosk-manualpdf: %s\n", qPrintable(message));
    return 1;
}

// Replaces ![alt](path) of images that do not exist by *alt*.
QString withMissingImagesAsText(const QString &markdown, const QDir &base, QStringList *missing)
{
    static const QRegularExpression image(QStringLiteral("!\\[([^\\]]*)\\]\\(([^)\\s]+)\\)"));
    QString out;
    qsizetype last = 0;
    for (auto it = image.globalMatch(markdown); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += markdown.mid(last, match.capturedStart() - last);
        const QString path = base.filePath(match.captured(2));
        if (QFileInfo::exists(path)) {
            out += match.captured(0);
        } else {
            missing->append(match.captured(2));
            out += QStringLiteral("*[") + match.captured(1) + QStringLiteral("]*");
        }
        last = match.capturedEnd();
    }
    out += markdown.mid(last);
    return out;
}

// Gives every image an absolute name and an explicit size no wider than
// the text column.
void fitImages(QTextDocument &document, const QDir &base)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString path = base.absoluteFilePath(format.name());
            const QSize natural = QImageReader(path).size();
            if (!natural.isValid())
                continue;
            const qreal width = std::min<qreal>(natural.width(), kTextWidth);
            // print() lays out a copy of the document, which does not keep
            // the base URL: name the file absolutely.
            format.setName(QUrl::fromLocalFile(path).toString());
            format.setWidth(width);
            format.setHeight(width * natural.height() / natural.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}

// CJK fonts draw a Kangxi radical (U+2F00 block, and the radicals
// supplement) and the ideograph it looks like with one glyph. The PDF's
// ToUnicode map names one character per glyph, the lowest code: the
// radical. Copying or searching text in the PDF would then find radicals
// where the manual has ideographs ("⼾" for "户"). This points every such
// glyph back to the ideograph the text uses. The maps are plain text and
// the codes keep their length, so no offset in the file moves.
void mapRadicalsToIdeographs(QByteArray &pdf, const QString &text, const QFont &font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return;
    const auto glyphOf = [&raw](char16_t c) {
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString(QChar(c)));
        return glyphs.isEmpty() ? 0u : glyphs.first();
    };
    QHash<quint32, char16_t> ideographOfGlyph;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF)) {
            const quint32 glyph = glyphOf(u);
            if (glyph != 0 && !ideographOfGlyph.contains(glyph))
                ideographOfGlyph.insert(glyph, u);
        }
    }
    QHash<QByteArray, QByteArray> replacement;
    for (char16_t radical = 0x2E80; radical <= 0x2FDF; ++radical) {
        const quint32 glyph = glyphOf(radical);
        if (glyph != 0 && ideographOfGlyph.contains(glyph)) {
            replacement.insert(QByteArray('<' + QByteArray::number(radical, 16).toUpper().rightJustified(4, '0') + '>'),
                               QByteArray('<' + QByteArray::number(ideographOfGlyph.value(glyph), 16).toUpper() + '>'));
        }
    }
    for (const char *begin : {"beginbfrange", "beginbfchar"}) {
        for (qsizetype from = pdf.indexOf(begin); from >= 0; from = pdf.indexOf(begin, from)) {
            const qsizetype end = pdf.indexOf("endbf", from);
            if (end < 0)
                break;
            for (qsizetype at = pdf.indexOf('<', from); at >= 0 && at + 6 <= end; at = pdf.indexOf('<', at + 1)) {
                const auto it = replacement.constFind(pdf.mid(at, 6));
                if (it != replacement.cend())
                    pdf.replace(at, 6, it.value());
            }
            from = end;
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QStringList args = app.arguments().mid(1);
    QString family;
    QString title;
    for (int i = 0; i + 1 < args.size();) {
        if (args.at(i) == QLatin1String("--font")) {
            family = args.at(i + 1);
            args.remove(i, 2);
        } else if (args.at(i) == QLatin1String("--title")) {
            title = args.at(i + 1);
            args.remove(i, 2);
        } else {
            ++i;
        }
    }
    if (args.size() != 2)
        return fail(QStringLiteral("usage: vosk-manualpdf INPUT.md OUTPUT.pdf [--font FAMILY] [--title TITLE]"));

    QFile input(args.at(0));
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(QStringLiteral("cannot read %1").arg(args.at(0)));
    const QDir base = QFileInfo(args.at(0)).absoluteDir();
    QStringList missing;
    const QString markdown = withMissingImagesAsText(QString::fromUtf8(input.readAll()), base, &missing);
    for (const QString &path : missing)
        std::fprintf(stderr, "vosk-manualpdf: %s: image %s not found, its text stands in\n",
                     qPrintable(args.at(0)), qPrintable(path));

    QTextDocument document;
    QFont font = document.defaultFont();
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setBaseUrl(QUrl::fromLocalFile(base.absolutePath() + QLatin1Char('/')));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    fitImages(document, base);
    if (title.isEmpty())
        title = document.metaInformation(QTextDocument::DocumentTitle);

    // Written beside the target and renamed, so that a failed run leaves
    // the previous PDF, not half of a new one.
    const QString output = args.at(1);
    const QString partial = output + QStringLiteral(".partial");
    {
        QPdfWriter writer(partial);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("vosk-manualpdf"));
        document.print(&writer);
    }
    QFile written(partial);
    if (!written.open(QIODevice::ReadWrite))
        return fail(QStringLiteral("could not write %1").arg(partial));
    QByteArray bytes = written.readAll();
    if (bytes.isEmpty())
        return fail(QStringLiteral("could not write %1").arg(partial));
    const qsizetype size = bytes.size();
    mapRadicalsToIdeographs(bytes, document.toPlainText(), font);
    Q_ASSERT(bytes.size() == size);
    if (!written.seek(0) || written.write(bytes) != size || !written.flush())
        return fail(QStringLiteral("could not write %1").arg(partial));
    written.close();
    QFile::remove(output);
    if (!QFile::rename(partial, output))
        return fail(QStringLiteral("could not move %1 to %2").arg(partial, output));
    return 0;
}
