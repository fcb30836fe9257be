#pragma once

#include <QMainWindow>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QRect>

#include <functional>
#include <memory>

class AboutDialog;
class QHBoxLayout;

namespace Ui {
class VOSKToolMainPage;
}

namespace aptui {
class CoverWidget;
class Menu;
class PinButton;
class WindowTitle;
} // namespace aptui

namespace VoskTool {

class DeviceDisplayPage;
class OnvifDevices;
class TipDialog;

// The tool's single top-level window: frameless, with its own title bar,
// the device table page on the left and, once a right-hand pane is set, a
// pin button on the pane's left edge that folds the pane away and back.
//
// Construction wires the discovery handler to the table page, gives the
// handler the configured device filter and starts discovery (ours, and ONVIF
// through the OnvifDevices it makes unless one exists); when discovery
// cannot start the user is told ("Initialization failed.") and the window
// still opens, with an empty table. The window dims itself under a cover
// while modal dialogs run (enableCover/disableCover, also driven by its
// pages) and asks before it closes. GUI thread only.
class VOSKToolMainPage final : public QMainWindow
{
    Q_OBJECT

public:
    explicit VOSKToolMainPage(QWidget *parent = nullptr);
    ~VOSKToolMainPage() override;

    DeviceDisplayPage *deviceDisplayPage() const { return m_deviceDisplayPage; }
    aptui::WindowTitle *windowTitleBar() const { return m_title; }
    aptui::PinButton *pinButton() const { return m_pinButton; }
    QWidget *pinBorder() const { return m_pinBorder; }
    QWidget *rightSpacer() const { return m_rightSpacer; }
    aptui::CoverWidget *cover() const { return m_cover; }
    aptui::Menu *menu() const { return m_menu; }
    // The menu's about entry, which also answers F1.
    AboutDialog *aboutAction() const { return m_about; }
    bool isCovered() const { return m_coverOn; }

    // The right-hand pane, placed right of the table page and folded by the
    // pin button (its buddy). The window takes it over. Without a pane the
    // pin button and its border stay hidden.
    void setRightPane(QWidget *pane);
    QWidget *rightPane() const { return m_rightPane; }

    // How the exit question runs: by default dialog.exec(). Tests answer in
    // the user's place; the runner sees the dialog fully set up and the
    // window already covered.
    using DialogRunner = std::function<int(TipDialog &dialog)>;
    void setExitDialogRunner(DialogRunner runner);
    // How the question about an ONVIF device's changed HTTPS certificate
    // runs (by default dialog.exec()): Accepted trusts the new one.
    void setCertificateDialogRunner(DialogRunner runner);

    // The window's size, place and maximised state are kept from one start
    // to the next in windowStateFile(): written when the user confirms the
    // exit question, read by restoreWindowState() before the window is
    // first shown. False when nothing usable was kept (first start, file
    // unreadable), and the caller places the window itself. A place on a
    // screen that is gone is moved back onto the screens there are.
    bool restoreWindowState();
    void saveWindowState();
    // "MainWindow.ini" where the program keeps what the user changes
    // (TarnGUIToolkit::GetUserFilePath).
    static QString windowStateFile();
    // Where a kept normal geometry goes among the screens' available areas
    // now: unchanged when its top-left corner lies on one of them, at the
    // first area's corner otherwise; then made no larger than the area it
    // lies on. An empty list leaves it as it is.
    static QRect placeOnScreens(const QRect &geometry, const QList<QRect> &availableAreas);

Q_SIGNALS:
    // F1 was pressed in the window.
    void signalGetHelp();

public Q_SLOTS:
    // Places the pin button and its border at the pane's left edge, or at
    // the window's right edge while the pane is folded.
    void onMovePinButtion();
    // Shows the spacer while the pane is folded, hides it otherwise.
    void onShowOrHideRightSpace();
    void OnBtnSystemMenu();
    void setCover(bool coverIt);
    void enableCover();
    void disableCover();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void startDiscovery();

    // Global: VoskTool::Ui holds other pages' forms.
    std::unique_ptr<::Ui::VOSKToolMainPage> m_ui;
    QHBoxLayout *m_contentLayout = nullptr;          // owned by verticalLayout
    aptui::WindowTitle *m_title = nullptr;            // child
    DeviceDisplayPage *m_deviceDisplayPage = nullptr; // child
    OnvifDevices *m_onvifDevices = nullptr;           // child, when the window made it
    QPointer<QWidget> m_rightPane;                    // child once set
    QWidget *m_rightSpacer = nullptr;                 // child
    aptui::PinButton *m_pinButton = nullptr;          // child
    QWidget *m_pinBorder = nullptr;                   // child
    aptui::CoverWidget *m_cover = nullptr;            // child
    aptui::Menu *m_menu = nullptr;                    // child
    AboutDialog *m_about = nullptr;                   // child
    bool m_coverOn = false;
    DialogRunner m_exitDialogRunner;
    DialogRunner m_certificateDialogRunner;
    // Refusals asked about already (endpoint and shown fingerprint): a
    // "no" is not asked again at every call.
    QSet<QString> m_certificatesAsked;
    bool m_askingCertificates = false;

    // Asks, one device after the other, whether to trust the certificates
    // OnvifDevices refused as changed.
    void askAboutCertificates();
};

} // namespace VoskTool
