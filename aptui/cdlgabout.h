#pragma once

#include <QWidgetAction>

class QFrame;
class QLabel;
class QPushButton;

namespace aptui {

class Widget;

// A menu entry that is an about panel: an icon, a name and a version line,
// a corner button, and a bottom row of two buttons between separator lines.
// The panel (object name "AboutDialog_ID_FX_CANNOT_BE_MULTI", 288 x 134) is
// the action's default widget, so a menu shows it in place of a text entry.
// GUI thread only.
class CDlgAbout : public QWidgetAction
{
    Q_OBJECT

public:
    explicit CDlgAbout(QObject *parent = nullptr);
    ~CDlgAbout() override;

    // The build number of a compile date written as the compiler's __DATE__
    // does ("May 16 2018", the day possibly space-padded): yyyymmdd, here
    // 20180516. 0 when the text is not such a date.
    static int buildNumber(const char *compileDate);
    // The build number of this build.
    static int buildNumber();

    // "Name: " / "Version: " followed by the text.
    void setName(const QString &text);
    void setVersion(const QString &text);
    void setBtn1Text(const QString &text);
    void setBtn2Text(const QString &text);
    void setConerBtnText(const QString &text);
    void showBtn1(bool show);
    void showBtn2(bool show);
    void showConerBtn(bool show);
    // Both buttons and both lines.
    void showBtns(bool show);

    // The panel (owned by the action).
    Widget *panel() const { return m_panel; }

Q_SIGNALS:
    void siganlBtn1Clicked();
    void siganlBtn2Clicked();
    void signalConerBtnClicked();

private:
    void buildForm();
    void showBottomButton(QPushButton *button, bool show);

    Widget *m_panel = nullptr; // the default widget
    QPushButton *m_conerBtn = nullptr;
    QLabel *m_softIcon = nullptr;
    QLabel *m_labNameValue = nullptr;
    QLabel *m_labVersionValue = nullptr;
    QFrame *m_aboutLine1 = nullptr;
    QFrame *m_aboutLine2 = nullptr;
    QPushButton *m_aboutbtn1 = nullptr;
    QPushButton *m_aboutbtn2 = nullptr;
};

} // namespace aptui
