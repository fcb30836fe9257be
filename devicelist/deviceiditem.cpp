#include "devicelist/deviceiditem.h"

namespace VoskTool {

DeviceIdItem::DeviceIdItem(const QString &text)
    : QStandardItem(text)
{
}

bool DeviceIdItem::operator<(const QStandardItem &other) const
{
    bool thisIsNumber = false;
    bool otherIsNumber = false;
    const qlonglong mine = text().toLongLong(&thisIsNumber);
    const qlonglong theirs = other.text().toLongLong(&otherIsNumber);
    if (thisIsNumber && otherIsNumber)
        return mine < theirs;
    return QStandardItem::operator<(other);
}

QStandardItem *DeviceIdItem::clone() const
{
    return new DeviceIdItem(*this);
}

} // namespace VoskTool
