#pragma once

#include <QStandardItem>

#include <array>

namespace aptui {

// A table cell holding a dotted IPv4 text ("192.168.1.10"), so that sorting
// orders addresses by number rather than as text: 192.168.1.9 comes before
// 192.168.1.10. Open for cell types that add their own defaults.
class CIpStandardItem : public QStandardItem
{
public:
    explicit CIpStandardItem(const QString &text);

    // Compares the first four dot-separated pieces of both texts as numbers
    // (each read like C's atoi: leading digits, none gives 0; a missing piece
    // counts as 0). Works against any item, address cell or not, by text.
    bool operator<(const QStandardItem &other) const override;

    QStandardItem *clone() const override;

    // What operator< compares: the first four pieces of text as numbers.
    // For tables that sort many address texts without an item per cell.
    using SortKey = std::array<long long, 4>;
    static SortKey sortKey(const QString &text);
};

} // namespace aptui
