#pragma once

#include "devicelist/deviceinfomodel.h"

#include <QString>

class QFontMetrics;
class QTableView;

namespace VoskTool {

// The opening widths of the device table's columns: each column as wide as
// the wider of its header (text, padding and sort arrow, in the header's
// font) and the widest text its cells plausibly show (a full dotted
// address, a version with its build date, a MAC address...), so that
// neither is cut at the first start. Measured once from these texts, never
// from the rows: a table of thousands of devices costs nothing more.
// GUI thread only.
class DeviceColumnWidths final
{
public:
    // The widest text a cell of logical column `logical` (DeviceColumn)
    // plausibly shows; of the model's own words (yes/no, on/off, activation,
    // N/A) the one drawn widest in `metrics`. Empty for the check column
    // and unknown columns.
    static QString widestText(int logical, const DeviceInfoModel::CellTexts &texts, const QFontMetrics &metrics);

    // The width for `logical` in `table`, whose model is `model`; the check
    // column's is checkColumnWidth.
    static int widthFor(const QTableView &table, const DeviceInfoModel &model, int logical);

    // Sets every column of `table` (showing `model`) to widthFor(). Call
    // after the headers, the style sheet and sorting are in place.
    static void apply(QTableView &table, const DeviceInfoModel &model);

    static constexpr int checkColumnWidth = 30;
};

} // namespace VoskTool
