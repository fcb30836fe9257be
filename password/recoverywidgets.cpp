#include "password/recoverywidgets.h"

#include "aptui/filepathbutton.h"
#include "password/qtqrencode.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>

namespace VoskTool {

namespace {

constexpr int kQrWidth = 108;

} // namespace

QLabel *makeStepNumber(QWidget *owner, const char *objectName, const QString &number)
{
    auto *label = new QLabel(number, owner);
    label->setObjectName(QLatin1String(objectName));
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(14, 14);
    label->setStyleSheet(QStringLiteral("QLabel { color: #FFFFFF; font-size: 7pt; background: #F74248;"
                                        " border-radius: 7px; }"));
    return label;
}

QToolButton *makeFolderButton(QWidget *owner, const char *objectName)
{
    auto *button = new aptui::FilePathButton(owner);
    button->setObjectName(QLatin1String(objectName));
    button->setFixedSize(26, 24);
    return button;
}

void showQrCode(QLabel *label, const QString &text)
{
    QtQrEncode encoder;
    encoder.setString(text);
    label->setPixmap(QPixmap::fromImage(encoder.getQRCode(kQrWidth)));
}

QString scanQrCodeHint()
{
    return QCoreApplication::translate("VoskTool::RecoveryDialogs",
                                       "请在手机通讯应用中关注厂商客服账号，打开“密码重置”服务，扫描设备二维码。");
}

QString retryHint()
{
    return QCoreApplication::translate("VoskTool::RecoveryDialogs",
                                       "如果恢复失败，请重启设备和软件后重新执行步骤1和2。");
}

} // namespace VoskTool
