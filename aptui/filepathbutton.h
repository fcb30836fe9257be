#pragma once

#include <QToolButton>

namespace aptui {

// The small "choose a file or folder" button beside a path field, with the
// skin's folder icons (normal, hover and pressed, disabled) set by its own
// style sheet, folderStyleSheet().
class FilePathButton final : public QToolButton
{
    Q_OBJECT

public:
    explicit FilePathButton(QWidget *parent = nullptr);

    // The style sheet of every folder button: icon centred on #FEFEFE with a
    // #CCCCCC border; hover and pressed: the hover icon, #666666 border;
    // disabled: the grey icon on #EEEEEE, #DDDDDD border.
    static QString folderStyleSheet();
};

} // namespace aptui
