#include "app/toolsapplication.h"

#include "app/applog.h"
#include "app/appwarningdialog.h"
#include "app/configuremanager.h"
#include "app/iskinplugin.h"
#include "app/lanaguagemanager.h"
#include "aptui/cfile.h"
#include "aptui/guitextcodec.h"
#include "aptui/targetpath.h"

#include <QDir>
#include <QHelpEvent>
#include <QIcon>
#include <QLineEdit>
#include <QPluginLoader>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTextCodec>
#include <QToolTip>

#include <exception>

namespace apt {

namespace {

const QString kToolkitSheetFolder = QStringLiteral(":/TarnDesk/Qss/Qss/TarnGUIToolkit/");
const QString kToolSheet = QStringLiteral(":/TarnDesk/Qss/Qss/VOSKTool/VOSKTool.qss");
const QString kApplicationIcon = QStringLiteral(":/aptui/complex/Images/System/Complex/calculate.png");

// Qt 6 QVariant::isNull() is true only for an empty variant, so a property
// that exists is never "null" there: what matters is whether the text was
// ever set. A widget's tool tip set to "" counts as set; a QString() that
// was never assigned does not.
bool isSetText(const QVariant &value)
{
    return value.isValid() && value.canConvert<QString>() && !value.toString().isNull();
}

} // namespace

ToolsApplication::ToolsApplication(const QString &id, int &argc, char **argv)
    : SharedTools::QtSingleApplication(id, argc, argv)
{
}

ToolsApplication::~ToolsApplication() = default;

bool ToolsApplication::init()
{
    loadConfigure();
    setDefaultFont();
    loadSkin();
    loadStyle();
    initLanguage();

    if (isRunning()) {
        AppWarningDialog::show(tr("VOSK is already running."), false);
        return false;
    }

    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->geometry());
    if (isResolutionEnough(screens)) {
        setWindowIcon(QIcon(kApplicationIcon));
        return true;
    }
    return AppWarningDialog::show(
        tr("Display resolution less than 1024*768,are you sure to start the program?"), true);
}

void ToolsApplication::loadConfigure()
{
    // A missing or broken file leaves every setting at its default. An
    // installed program reads the user's own copy, which the user may edit.
    ConfigureManager::GetInstance()->load(TarnGUIToolkit::GetUserFilePath(QStringLiteral("Setup.xml")));
}

void ToolsApplication::setDefaultFont()
{
    setFont(defaultFont());
}

void ToolsApplication::loadSkin()
{
    const QString skin =
        ConfigureManager::GetInstance()->getStringValue(Skin, QStringLiteral("CommonSkin"));
    const QString folder = TarnGUIToolkit::GetPluginPath() + QStringLiteral("skins/");
    if (findSkinPlugin(skin, folder))
        qCWarning(lcApp, "[Tool]LoadSkin = %s Success", qUtf8Printable(skin));
    else
        qCWarning(lcApp, "[Tool]LoadSkin = %s failed", qUtf8Printable(skin));
}

void ToolsApplication::loadStyle()
{
    // A warning, like the skin's line: the category shows nothing below
    // info, and this line is the only trace of a style plug-in missing from
    // the program folder.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("CommonStyle")))
        setStyle(style);
    else
        qCWarning(lcApp, "[ToolsApplication::loadStyle]The CommonStyle does not exist.");
    setStyleSheet(applicationStyleSheet());
}

void ToolsApplication::initLanguage()
{
    TarnGUIToolkit::InitGuiTextCodec(QTextCodec::codecForLocale());
    // The first use of the language manager installs the translations.
    setLanguageFont(LanaguageManager::GetInstance()->language());
    TarnGUIToolkit::InitGuiLocale(LanaguageManager::GetInstance()->locale());
}

void ToolsApplication::setLanguageFont(int languageCode)
{
    setFont(languageFont(languageCode, font()));
}

bool ToolsApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        // Fonts are chosen once at start-up; a later application-wide font
        // change would re-lay out every page under the user's hands.
        if (event->type() == QEvent::ApplicationFontChange)
            return true;
        if (event->type() == QEvent::ToolTip) {
            if (const std::optional<QString> text = toolTipTextFor(receiver)) {
                QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), *text);
                return true;
            }
        }
        return SharedTools::QtSingleApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        qCCritical(lcApp) << "[ToolsApplication::notify] exception during event delivery:" << error.what();
    } catch (...) {
        qCCritical(lcApp) << "[ToolsApplication::notify] unknown exception during event delivery";
    }
    return false;
}

bool ToolsApplication::isResolutionEnough(const QList<QRect> &screenGeometries)
{
    bool wideEnough = false;
    bool highEnough = false;
    for (const QRect &screen : screenGeometries) {
        // QRect::right() is left + width - 1; the edge here is left + width.
        wideEnough = wideEnough || screen.x() + screen.width() >= 1024;
        highEnough = highEnough || screen.y() + screen.height() >= 768;
    }
    return wideEnough && highEnough;
}

ToolsApplication::WindowPlacement ToolsApplication::mainWindowPlacement(const QRect &availableArea)
{
    WindowPlacement placement;
    if (availableArea.height() < 768) {
        placement.size = availableArea.size();
        // The area's own corner, not the desktop's (0, 0): with a panel on
        // top or the primary screen right of another one, (0, 0) would put
        // the window under the panel or on the wrong screen.
        placement.position = availableArea.topLeft();
    } else {
        placement.size = QSize(availableArea.width() * 768 / availableArea.height(), 768);
    }
    return placement;
}

QObject *ToolsApplication::findSkinPlugin(const QString &skinName, const QString &folder)
{
    if (skinName.isEmpty())
        return nullptr;
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Unsorted);
    for (const QString &file : files) {
        QPluginLoader loader(QDir::cleanPath(folder + QLatin1Char('/') + file));
        if (!loader.isLoaded() && !loader.load())
            continue;
        QObject *root = loader.instance();
        const ISkinPlugin *skin = qobject_cast<ISkinPlugin *>(root);
        if (skin && skin->skinNames().contains(skinName))
            return root;
        // The loader goes out of scope without unload(): a library another
        // part of the program uses must not be pulled away under it.
    }
    return nullptr;
}

std::optional<QString> ToolsApplication::toolTipTextFor(const QObject *receiver)
{
    if (!receiver || qobject_cast<const QLineEdit *>(receiver))
        return std::nullopt;
    const QVariant toolTip = receiver->property("toolTip");
    if (!isSetText(toolTip))
        return std::nullopt;
    // A greyed control says why it is greyed; its own text would not.
    if (!toolTip.toString().isEmpty() && !receiver->property("enabled").toBool())
        return std::nullopt;
    const QVariant text = receiver->property("text");
    if (isSetText(text))
        return text.toString();
    const QVariant currentText = receiver->property("currentText");
    if (isSetText(currentText))
        return currentText.toString();
    return std::nullopt;
}

QString ToolsApplication::applicationStyleSheet()
{
    QStringList files = QDir(kToolkitSheetFolder).entryList(QDir::Files);
    files.removeAll(QStringLiteral("MacSpecial.qss"));
    return TarnGUIToolkit::CFile::ReadAll(files, kToolkitSheetFolder) + TarnGUIToolkit::CFile::ReadAll(kToolSheet);
}

QFont ToolsApplication::languageFont(int languageCode, const QFont &current)
{
    if (languageCode == 10)
        return defaultFont(QStringLiteral("Tahoma"));
    if (languageCode == 9)
        return defaultFont(QStringLiteral("Batang"));
    return current;
}

QFont ToolsApplication::defaultFont(const QString &family)
{
    QFont font(family, 9);
    font.setStyleHint(QFont::SansSerif, QFont::PreferAntialias);
    return font;
}

} // namespace apt
