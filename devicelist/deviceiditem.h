#pragma once

#include <QStandardItem>

namespace VoskTool {

// The "ID" cell of the device table ("%03d" of the row number). The zero
// padding keeps text order equal to number order only up to 999; this cell
// compares by number, so that "1000" sorts after "999" and not after "100".
// The table makes it as a DeviceCell<DeviceIdItem>.
class DeviceIdItem : public QStandardItem
{
public:
    explicit DeviceIdItem(const QString &text = QString());

    // By value when both texts are decimal numbers, otherwise as
    // QStandardItem compares (by text).
    bool operator<(const QStandardItem &other) const override;

    QStandardItem *clone() const override;
};

} // namespace VoskTool
