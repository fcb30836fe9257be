#include "aptui/filepathbutton.h"

namespace aptui {

FilePathButton::FilePathButton(QWidget *parent)
    : QToolButton(parent)
{
    setStyleSheet(folderStyleSheet());
}

QString FilePathButton::folderStyleSheet()
{
    return QStringLiteral(
        "QToolButton { background: #FEFEFE url(:/CommonSkin/VOSKTool/Images/VOSKTool/Dialog/icon_floder_open.png)"
        " no-repeat center; border: 1px solid #CCCCCC; }"
        "QToolButton:hover, QToolButton:pressed { background-image:"
        " url(:/CommonSkin/VOSKTool/Images/VOSKTool/Dialog/icon_floder_open_hover.png); border: 1px solid #666666; }"
        "QToolButton:disabled { background: #EEEEEE url(:/CommonSkin/VOSKTool/Images/VOSKTool/Dialog/"
        "icon_floder_open_dis.png) no-repeat center; border: 1px solid #DDDDDD; }");
}

} // namespace aptui
