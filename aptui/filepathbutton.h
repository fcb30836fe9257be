#pragma once

#include <QToolButton>

namespace aptui {

// The small "choose a file or folder" button beside a path field. Its
// folder icon comes from the page's style sheet (aptui--FilePathButton).
class FilePathButton final : public QToolButton
{
    Q_OBJECT

public:
    explicit FilePathButton(QWidget *parent = nullptr);
};

} // namespace aptui
