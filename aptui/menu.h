#pragma once

#include <QMenu>

namespace aptui {

// The system's pop-up menu: frameless with a translucent background, so
// the style sheet draws its rounded corners and its own shadow; object
// name "Menu". On Windows the platform's drop shadow of pop-up menus is
// switched off the first time any Menu gets its native window (once per
// process: pop-up menus share one window class). GUI thread only.
class Menu final : public QMenu
{
    Q_OBJECT

public:
    explicit Menu(QWidget *parent = nullptr);
    explicit Menu(const QString &title, QWidget *parent = nullptr);

    // A new child Menu titled `title`, its menu action added to `target`
    // (this menu when null). The new menu belongs to this one.
    Menu *createSubMenu(const QString &title, QWidget *target = nullptr);
    Menu *createSubMenu(const QIcon &icon, const QString &title, QWidget *target = nullptr);
    // Adds `menu` (owned by the caller) as a sub-menu; its action, or null
    // for a null menu.
    QAction *addSubMenu(QMenu *menu);

protected:
    bool event(QEvent *event) override;

private:
    void setUp();
};

} // namespace aptui
