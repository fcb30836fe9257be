#pragma once

#include <Qt>

namespace aptui {

// Item data roles that one feature's model gives and another feature reads
// (the kit is what both link).
enum ItemRole {
    // A cell's text as it lasts, for what is written to a file. A model
    // answers it where a cell shows a passing state (a device list row
    // "signing in"); elsewhere, and for models that do not answer it, the
    // file takes the cell's DisplayRole.
    LastingTextRole = Qt::UserRole + 2,
    // A cell's number (an int) where the column holds counts or ports and
    // the row has one, for a file that should let a spreadsheet sum and
    // sort them; invalid elsewhere, and then the file writes the text.
    NumberRole = Qt::UserRole + 3,
};

} // namespace aptui
