#include "discovery/terminaltext.h"

#include <algorithm>

namespace TerminalText {

namespace {

bool needsEscape(char32_t code)
{
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Surrogate:  // a lone half of a pair
        return true;
    default:
        return false;
    }
}

QString hex(char32_t code, int width)
{
    return QString::number(uint(code), 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

} // namespace

QString escape(const QString &text)
{
    // Most texts need nothing: return them shared, without a copy (an
    // export escapes every cell of thousands of rows).
    const auto plain = [](QChar c) {
        return c != QLatin1Char('\\') && !c.isSurrogate() && !needsEscape(c.unicode());
    };
    if (std::all_of(text.cbegin(), text.cend(), plain))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t code = text.at(i).unicode();
        qsizetype units = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            units = 2;
        }
        if (code == U'\\')
            out += QLatin1String("\\\\");
        else if (!needsEscape(code))
            out += text.mid(i, units);
        else if (code <= 0xFF)
            out += QLatin1String("\\x") + hex(code, 2);
        else
            out += QLatin1String("\\u{") + hex(code, 4) + QLatin1Char('}');
        i += units - 1;
    }
    return out;
}

QString excerpt(const QString &text, int maxLength)
{
    // Escaping only lengthens: the cut needs no more of the text than this.
    const QString escaped = escape(text.left(qsizetype(maxLength) + 1));
    if (escaped.size() <= maxLength)
        return escaped;
    return escaped.left(maxLength) + QStringLiteral("...");
}

} // namespace TerminalText
