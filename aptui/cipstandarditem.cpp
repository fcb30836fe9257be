#include "aptui/cipstandarditem.h"

#include <QStringList>

#include <array>
#include <cstdlib>

namespace aptui {

namespace {

// Reads leading decimal digits the way C's atoi does (leading blanks and a
// sign allowed, anything else ends the number, nothing gives 0). Digits
// beyond what a long long holds are ignored rather than overflowing.
long long leadingNumber(QStringView piece)
{
    qsizetype i = 0;
    while (i < piece.size() && piece.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < piece.size() && (piece.at(i) == QLatin1Char('-') || piece.at(i) == QLatin1Char('+'))) {
        negative = piece.at(i) == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    for (; i < piece.size() && piece.at(i) >= QLatin1Char('0') && piece.at(i) <= QLatin1Char('9'); ++i) {
        if (value < 100000000000000LL)
            value = value * 10 + (piece.at(i).unicode() - '0');
    }
    return negative ? -value : value;
}

} // namespace

CIpStandardItem::SortKey CIpStandardItem::sortKey(const QString &text)
{
    SortKey key{0, 0, 0, 0};
    const QList<QStringView> pieces = QStringView(text).split(QLatin1Char('.'));
    for (qsizetype i = 0; i < pieces.size() && i < 4; ++i)
        key[static_cast<std::size_t>(i)] = leadingNumber(pieces.at(i));
    return key;
}

CIpStandardItem::CIpStandardItem(const QString &text)
    : QStandardItem(text)
{
}

bool CIpStandardItem::operator<(const QStandardItem &other) const
{
    // Compared piece by piece as numbers. For octets 0..999 this is the same
    // order as comparing zero-padded "%03d" keys as text, without the text
    // key going wrong for pieces of four digits or more.
    return sortKey(text()) < sortKey(other.text());
}

QStandardItem *CIpStandardItem::clone() const
{
    return new CIpStandardItem(*this);
}

} // namespace aptui
