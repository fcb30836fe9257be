#pragma once

#include <QWidget>

namespace aptui {

// A plain widget that reports mouse activity and paints style-sheet
// backgrounds and borders (QWidget itself ignores them in subclasses).
class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);

Q_SIGNALS:
    void signalDoubleClicked();
    void signalMouseClicked();
    void signalMouseEnter();
    void signalMouseLeave();

protected:
    // Emits the matching signal, then lets QWidget handle the event.
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace aptui
