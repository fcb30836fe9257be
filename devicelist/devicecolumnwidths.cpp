#include "devicelist/devicecolumnwidths.h"

#include "devicelist/devicecolumn.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

#include <algorithm>
#include <initializer_list>

namespace VoskTool {

namespace {

QString wider(const QFontMetrics &metrics, std::initializer_list<QString> texts)
{
    return *std::max_element(texts.begin(), texts.end(), [&metrics](const QString &a, const QString &b) {
        return metrics.horizontalAdvance(a) < metrics.horizontalAdvance(b);
    });
}

// Padding of a cell beyond its text: the style's text margins on both
// sides and the table style sheet's item padding (0 4px), with a little
// room so that a text of exactly the measured width is not elided.
constexpr int kCellPadding = 2 * 4 + 6;

} // namespace

QString DeviceColumnWidths::widestText(int logical, const DeviceInfoModel::CellTexts &texts,
                                       const QFontMetrics &metrics)
{
    // Widest characters where the format allows a choice: uppercase hex in
    // a MAC, the longest version and date parts a device reports.
    switch (logical) {
    case ColumnId:
        return QStringLiteral("00000");
    case ColumnDeviceType:
        return QStringLiteral("VC-7720Z-IWSM");
    case ColumnActivation:
        return wider(metrics, {texts.activated, texts.notActivated, texts.activationUnknown});
    case ColumnIpv4Address:
    case ColumnIpv4Gateway:
    case ColumnIpv4Mask:
        return QStringLiteral("255.255.255.255");
    case ColumnPort:
        return QStringLiteral("65535");
    case ColumnHttpPort:
        return wider(metrics, {texts.notAvailable, QStringLiteral("65535")});
    case ColumnSoftwareVersion:
        return QStringLiteral("V5.10.10 build 261231");
    case ColumnSerialNumber:
        return QStringLiteral("VC-7720Z0001000123");
    case ColumnMac:
        return QStringLiteral("DD-DD-DD-DD-DD-DD");
    case ColumnChannelCount:
        return QStringLiteral("64");
    case ColumnDspVersion:
        return QStringLiteral("V7.10 build 261231");
    case ColumnStartTime:
        return QStringLiteral("2026-12-31 23:59:59");
    case ColumnIpv6Address:
        return QStringLiteral("2001:db8:85a3::8a2e:370:7334");
    case ColumnIpv6Gateway:
        return QStringLiteral("2001:db8:85a3::1");
    case ColumnIpv6PrefixLength:
        return QStringLiteral("128");
    case ColumnSupportIpv6:
    case ColumnSupportModifyIpv6:
    case ColumnSupportDhcp:
        return wider(metrics, {texts.yes, texts.no});
    case ColumnIpv4Dhcp:
        return wider(metrics, {texts.on, texts.off});
    case ColumnProtocol:
        return wider(metrics, {texts.ownProtocol, texts.onvif, texts.onvifSignedIn, texts.onvifRefused, texts.onvifSigningIn});
    default:
        return QString();
    }
}

int DeviceColumnWidths::widthFor(const QTableView &table, const DeviceInfoModel &model, int logical)
{
    if (logical == ColumnCheck)
        return checkColumnWidth;
    const int column = model.columnIndex(logical);
    if (column < 0)
        return 0;
    QHeaderView *header = table.horizontalHeader();
    // Style sheet fonts (the bold header) apply once a widget is polished.
    header->ensurePolished();
    // The header's own measure: text, padding and, with sorting on, the
    // arrow's room.
    const int headerWidth = header->sectionSizeHint(column);

    table.ensurePolished();
    const QFontMetrics metrics = table.fontMetrics();
    const QString sample = widestText(logical, model.cellTexts(), metrics);
    const int textMargin = table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1;
    const int cellWidth = metrics.horizontalAdvance(sample) + 2 * textMargin + kCellPadding;
    return std::max(headerWidth, cellWidth);
}

void DeviceColumnWidths::apply(QTableView &table, const DeviceInfoModel &model)
{
    for (int logical = 0; logical < DeviceColumnCount; ++logical)
        table.setColumnWidth(model.columnIndex(logical), widthFor(table, model, logical));
}

} // namespace VoskTool
