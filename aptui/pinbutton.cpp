#include "aptui/pinbutton.h"

namespace aptui {

PinButton::PinButton(QWidget *parent)
    : QPushButton(parent)
{
    setFixedSize(14, 69);
    setImages(true);
    // Order matters: the buddy has changed before anyone hears the click.
    connect(this, &QPushButton::clicked, this, &PinButton::buddyState);
    connect(this, &QPushButton::clicked, this, &PinButton::pinButtonClicked);
}

void PinButton::setBuddy(QWidget *buddy)
{
    m_buddy = buddy;
}

void PinButton::buddyState()
{
    if (!m_buddy)
        return;
    // isHidden(), not isVisible(): the buddy's own flag, whether or not the
    // window around it is shown yet.
    if (!m_buddy->isHidden()) {
        m_buddy->hide();
        setImages(false);
    } else {
        m_buddy->show();
        setImages(true);
    }
}

void PinButton::setImages(bool pointingLeft)
{
    if (pointingLeft) {
        setStyleSheet(QStringLiteral(
            "QPushButton{border-image:url(:/aptui/complex/Images/System/Complex/left.png);}"
            "QPushButton:pressed{border-image:url(:/aptui/complex/Images/System/Complex/leftSel.png);}"));
    } else {
        setStyleSheet(QStringLiteral(
            "QPushButton{border-image:url(:/aptui/complex/Images/System/Complex/right.png);}"
            "QPushButton:pressed{border-image:url(:/aptui/complex/Images/System/Complex/RightSel.png);}"));
    }
}

} // namespace aptui
