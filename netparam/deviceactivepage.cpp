#include "netparam/deviceactivepage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace VoskTool {

namespace {

QString centred(const QString &text)
{
    return QStringLiteral("<html><head/><body><p align=\"center\">%1</p></body></html>").arg(text);
}

QLabel *makeLabel(QWidget *parent, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    return label;
}

} // namespace

DeviceActivePage::DeviceActivePage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("DeviceActivePage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 0);
    layout->setSpacing(10);
    m_labelToolTitle = makeLabel(this, "m_labelToolTitle");
    m_labelNetPara = makeLabel(this, "m_labelNetPara");
    m_labelPicture = makeLabel(this, "m_labelPicture");
    m_labelPicture->setFixedSize(100, 100);
    m_labelWord1 = makeLabel(this, "m_labelWord1");
    m_labelWord2 = makeLabel(this, "m_labelWord2");
    m_tipWidget = new QWidget(this);
    m_tipWidget->setObjectName(QStringLiteral("m_tipWidget"));
    auto *tipLayout = new QVBoxLayout(m_tipWidget);
    tipLayout->setContentsMargins(8, 6, 8, 6);
    m_labelWord3 = makeLabel(m_tipWidget, "m_labelWord3");
    tipLayout->addWidget(m_labelWord3);
    // Stays while the form is shown: the user reads it before choosing
    // to send.
    m_labelClearText = makeLabel(m_tipWidget, "m_labelClearText");
    m_labelClearText->setTextFormat(Qt::PlainText);
    m_labelClearText->setStyleSheet(QStringLiteral("color: #d9534f;"));
    m_labelClearText->hide();
    tipLayout->addWidget(m_labelClearText);

    auto *activeRow = new QHBoxLayout;
    m_labelGrayline2 = makeLabel(this, "m_labelGrayline2");
    m_labelActiveNow = makeLabel(this, "m_labelActiveNow");
    m_labelActiveNow->setWordWrap(false);
    m_labelGrayline3 = makeLabel(this, "m_labelGrayline3");
    for (QLabel *line : {m_labelGrayline2, m_labelGrayline3}) {
        line->setFixedHeight(1);
        line->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    activeRow->addWidget(m_labelGrayline2, 1);
    activeRow->addWidget(m_labelActiveNow);
    activeRow->addWidget(m_labelGrayline3, 1);

    layout->addWidget(m_labelToolTitle);
    layout->addWidget(m_labelNetPara);
    layout->addWidget(m_labelPicture, 0, Qt::AlignHCenter);
    layout->addWidget(m_labelWord1);
    layout->addWidget(m_labelWord2);
    layout->addWidget(m_tipWidget);
    layout->addLayout(activeRow);
}

void DeviceActivePage::setPicture(const QString &path)
{
    m_labelPicture->setPixmap(QPixmap(path).scaled(100, 100, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void DeviceActivePage::showInactive(const QString &title)
{
    m_labelNetPara->setText(centred(title));
    m_labelWord1->setTextFormat(Qt::AutoText);
    m_labelWord1->setText(centred(tr("Device not activated")));
    m_labelWord2->hide();
    m_labelWord3->setText(centred(tr("The network parameters can be modified after the device is activated")));
    m_labelClearText->hide();
    m_tipWidget->show();
    m_labelActiveNow->setText(tr("Active now"));
    m_labelActiveNow->show();
    m_labelGrayline2->show();
    m_labelGrayline3->show();
    setPicture(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/ParamModify/icon_not_activated.png"));
}

void DeviceActivePage::showClearTextNotice(int devices, bool batch)
{
    if (devices <= 0) {
        m_labelClearText->hide();
        return;
    }
    m_labelClearText->setText(
        batch ? tr("%n checked ONVIF device(s) offer no HTTPS: the new password goes to them in clear over HTTP, "
                   "readable by anyone on the network path.", nullptr, devices)
              : tr("This ONVIF device offers no HTTPS: the new password goes to it in clear over HTTP, readable by "
                   "anyone on the network path."));
    m_labelClearText->show();
}

void DeviceActivePage::showSingleInactive()
{
    showInactive(tr("Device active"));
}

void DeviceActivePage::showBatchInactive()
{
    showInactive(tr("Batch devices active"));
}

void DeviceActivePage::showMixedSelection()
{
    m_labelNetPara->setText(centred(tr("Batch devices network parameters")));
    m_labelWord1->setTextFormat(Qt::PlainText);
    m_labelWord1->setText(tr("Sorry,the devices you have chosen has not activated devices"));
    m_labelWord2->setText(
        QStringLiteral("<html><head/><body><p>%1<span style=\"font-weight:600;\">%2</span>%3</p></body></html>")
            .arg(tr("Note: please activate"), tr("the device"), tr("to perform other operations")));
    m_labelWord2->show();
    m_tipWidget->hide();
    m_labelActiveNow->hide();
    m_labelGrayline2->hide();
    m_labelGrayline3->hide();
    setPicture(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/ParamModify/icon_abnormal.png"));
}

void DeviceActivePage::showMakersActivation()
{
    m_labelNetPara->setText(centred(tr("Device active")));
    m_labelWord1->setTextFormat(Qt::AutoText);
    m_labelWord1->setText(centred(tr("Device not activated")));
    m_labelWord2->setText(tr("This ONVIF device does not take the standard's activation. Activate it with its "
                             "maker's own tool; it can then be signed in to and configured here."));
    m_labelWord2->show();
    m_tipWidget->hide();
    m_labelActiveNow->hide();
    m_labelGrayline2->hide();
    m_labelGrayline3->hide();
    setPicture(QStringLiteral(":/CommonSkin/VOSKTool/Images/VOSKTool/ParamModify/icon_not_activated.png"));
}

} // namespace VoskTool
