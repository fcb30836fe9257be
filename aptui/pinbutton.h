#pragma once

#include <QPointer>
#include <QPushButton>

namespace aptui {

// The narrow button on the edge of the main window's right pane: a click
// hides the buddy widget when it is visible and shows it when it is hidden,
// and the arrow image turns to match.
class PinButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit PinButton(QWidget *parent = nullptr);

    // The widget to fold; not owned. None at start.
    void setBuddy(QWidget *buddy);
    QWidget *buddy() const { return m_buddy; }

public Q_SLOTS:
    // Flips the buddy's visibility and the images; nothing without a buddy.
    void buddyState();

Q_SIGNALS:
    // Emitted on every click, after buddyState(): receivers see the buddy's
    // new visibility.
    void pinButtonClicked();

private:
    void setImages(bool pointingLeft);

    QPointer<QWidget> m_buddy;
};

} // namespace aptui
