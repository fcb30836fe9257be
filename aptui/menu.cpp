#include "aptui/menu.h"

#include "aptui/aptuilog.h"

#include <QEvent>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace aptui {

namespace {

#ifdef Q_OS_WIN
bool g_dropShadowRemoved = false;
bool g_removingDropShadow = false;

// Pop-up menus share one native window class, so clearing CS_DROPSHADOW
// on one menu's class covers every later menu of the process. The guard
// keeps the event that changing the class may send back from re-entering.
void removeDropShadowOnce(QWidget *menu)
{
    if (g_dropShadowRemoved || g_removingDropShadow)
        return;
    const auto hwnd = reinterpret_cast<HWND>(menu->internalWinId());
    if (!hwnd)
        return;
    g_removingDropShadow = true;
    const DWORD style = GetClassLongW(hwnd, GCL_STYLE);
    if (style & CS_DROPSHADOW)
        SetClassLongW(hwnd, GCL_STYLE, static_cast<LONG>(style & ~DWORD(CS_DROPSHADOW)));
    g_dropShadowRemoved = true;
    g_removingDropShadow = false;
    qCDebug(lcAptui) << "[Menu] platform drop shadow switched off";
}
#endif

} // namespace

Menu::Menu(QWidget *parent)
    : QMenu(parent)
{
    setUp();
}

Menu::Menu(const QString &title, QWidget *parent)
    : QMenu(title, parent)
{
    setUp();
}

void Menu::setUp()
{
    setWindowFlags(windowFlags() | Qt::Popup | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("Menu"));
}

Menu *Menu::createSubMenu(const QString &title, QWidget *target)
{
    auto *menu = new Menu(title, this);
    (target ? target : this)->addAction(menu->menuAction());
    return menu;
}

Menu *Menu::createSubMenu(const QIcon &icon, const QString &title, QWidget *target)
{
    Menu *menu = createSubMenu(title, target);
    menu->setIcon(icon);
    return menu;
}

QAction *Menu::addSubMenu(QMenu *menu)
{
    return menu ? addMenu(menu) : nullptr;
}

bool Menu::event(QEvent *event)
{
#ifdef Q_OS_WIN
    if (event->type() == QEvent::WinIdChange)
        removeDropShadowOnce(this);
#endif
    return QMenu::event(event);
}

} // namespace aptui
