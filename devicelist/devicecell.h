#pragma once

#include <QBrush>
#include <QColor>
#include <QStandardItem>

namespace VoskTool {

// A cell of the device table: what every cell has in common is answered by
// the cell's type instead of being stored in each cell, the grey text and
// flags without Qt::ItemIsEditable. A table of thousands of devices has
// tens of thousands of cells, and a stored brush and flags value were about
// half of each cell's memory and allocations. A value set on a cell (the
// red of a device that is not activated, the check box's flags) still wins.
//
// Base is QStandardItem or one of its cell types (address and ID cells), so
// that sorting and dynamic_cast see the same types as before.
template <class Base>
class DeviceCell final : public Base
{
public:
    using Base::Base;

    // QStandardItem keeps its flags as data under this role; flags() and the
    // model's flags() read them through data().
    static constexpr int FlagsRole = Qt::UserRole - 1;

    static QBrush defaultForeground()
    {
        static const QBrush brush(QColor(0x66, 0x66, 0x66));
        return brush;
    }

    QVariant data(int role) const override
    {
        QVariant value = Base::data(role);
        if (value.isValid())
            return value;
        if (role == Qt::ForegroundRole)
            return defaultForeground();
        if (role == FlagsRole)
            return static_cast<int>(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled
                                    | Qt::ItemIsDropEnabled);
        return value;
    }

    QStandardItem *clone() const override { return new DeviceCell(*this); }
};

} // namespace VoskTool
