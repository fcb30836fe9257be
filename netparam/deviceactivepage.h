#pragma once

#include <QWidget>

class QLabel;

namespace VoskTool {

// The information page on page 1 of the right-hand pane: what the activation
// form below it is for, or why a mixed selection cannot be acted on. Owned by
// the pane. GUI thread only.
class DeviceActivePage final : public QWidget
{
    Q_OBJECT

public:
    explicit DeviceActivePage(QWidget *parent = nullptr);

    // One device that is not activated.
    void showSingleInactive();
    // Several devices, none activated.
    void showBatchInactive();
    // Activated and not activated devices together: nothing can be done.
    void showMixedSelection();
    // ONVIF devices that are not activated and refuse the standard's
    // activation: only their maker's own tool can activate them.
    void showMakersActivation();
    // Under the activation form's title: how many of the devices to be
    // activated take the new password in clear (ONVIF over plain HTTP);
    // none hides the notice. After showSingleInactive()/showBatchInactive().
    void showClearTextNotice(int devices, bool batch);

private:
    void showInactive(const QString &title);
    void setPicture(const QString &path);

    QLabel *m_labelToolTitle;
    QLabel *m_labelNetPara;
    QLabel *m_labelPicture;
    QLabel *m_labelWord1;
    QLabel *m_labelWord2;
    QWidget *m_tipWidget;
    QLabel *m_labelWord3;
    QLabel *m_labelGrayline2;
    QLabel *m_labelActiveNow;
    QLabel *m_labelGrayline3;
    QLabel *m_labelClearText;
};

} // namespace VoskTool
