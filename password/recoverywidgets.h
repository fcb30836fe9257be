#pragma once

// Small pieces the recovery dialogs share.

#include <QString>

class QLabel;
class QToolButton;
class QWidget;

namespace VoskTool {

// A step number ("1", "2", "3"): white 7 pt text, centred on a red disc.
QLabel *makeStepNumber(QWidget *owner, const char *objectName, const QString &number);

// The folder button beside a path field (aptui::FilePathButton).
QToolButton *makeFolderButton(QWidget *owner, const char *objectName);

// Encodes `text` as a QR symbol about 108 pixels wide and shows it, unscaled,
// in `label`.
void showQrCode(QLabel *label, const QString &text);

// The hint in step 1 of both dialogs, and the one under their last step.
QString scanQrCodeHint();
QString retryHint();

} // namespace VoskTool
