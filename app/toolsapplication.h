#pragma once

#include "app/qtsingleapplication.h"

#include <QFont>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QObject;

namespace apt {

// The tool's application object. init() runs the start-up steps in order:
// Setup.xml, default font, skin plug-in, style and style sheets, codec,
// translations and language font, the refusal of a second instance, the
// screen check. notify() adjusts how tool tips are shown, ignores
// application font changes and keeps an exception from ending the event
// loop. GUI thread only.
class ToolsApplication final : public SharedTools::QtSingleApplication
{
    Q_OBJECT

public:
    ToolsApplication(const QString &id, int &argc, char **argv);
    ~ToolsApplication() override;

    // True when the main window may be built. False after the second-instance
    // notice, or when the user declines to start on a small screen.
    bool init();

    bool notify(QObject *receiver, QEvent *event) override;

    // The pure rules behind the start-up steps, public for tests.

    // True when some screen reaches x = 1024 with its right edge (left plus
    // width) and some screen, possibly another, reaches y = 768 with its
    // bottom edge (top plus height).
    static bool isResolutionEnough(const QList<QRect> &screenGeometries);

    // Where the main window goes, given the primary screen's available area.
    struct WindowPlacement {
        QSize size;
        std::optional<QPoint> position; // none: leave placement to the system
    };
    // An area lower than 768 gets the window at its full size at its
    // top-left corner; otherwise the window is 768 high with the area's
    // aspect ratio (integer division).
    static WindowPlacement mainWindowPlacement(const QRect &availableArea);

    // The first plug-in in `folder` (files only, in listing order) that
    // implements ISkinPlugin and lists `skinName` (case-sensitive); its
    // library stays loaded. Null when none does or the name is empty.
    static QObject *findSkinPlugin(const QString &skinName, const QString &folder);

    // The text a tool-tip event on `receiver` shows instead of its tool tip:
    // for anything but a line edit whose "toolTip" is set (even to an empty
    // text), its "text" property, else its "currentText" property, when
    // that property exists and is set. None: deliver the event normally,
    // also for a disabled widget with a tool tip (the reason it is greyed).
    static std::optional<QString> toolTipTextFor(const QObject *receiver);

    // The whole application style sheet: every file of the toolkit folder
    // except "MacSpecial.qss", in listing order, then the tool's own sheet.
    static QString applicationStyleSheet();

    // The application font for a language code: "Tahoma" for 10, "Batang"
    // for 9, otherwise `current`.
    static QFont languageFont(int languageCode, const QFont &current);
    // The default font: "Microsoft YaHei", 9 points, sans-serif hint,
    // anti-aliased (fontconfig substitutes an installed family).
    static QFont defaultFont(const QString &family = QStringLiteral("Microsoft YaHei"));

private:
    void loadConfigure();
    void setDefaultFont();
    void loadSkin();
    void loadStyle();
    void initLanguage();
    void setLanguageFont(int languageCode);
};

} // namespace apt
