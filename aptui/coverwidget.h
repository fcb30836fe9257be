#pragma once

#include "aptui/widget.h"

namespace aptui {

// The dimming layer laid over the main window while a modal dialog is open.
// The owner sizes and shows it; the style sheet colours the inner widget
// (object name "m_cover"), typically a translucent grey.
class CoverWidget final : public Widget
{
    Q_OBJECT

public:
    explicit CoverWidget(QWidget *parent = nullptr);

    QWidget *cover() const { return m_cover; }

private:
    Widget *m_cover; // child, owned through the parent
};

} // namespace aptui
