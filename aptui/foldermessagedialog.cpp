#include "aptui/foldermessagedialog.h"

#include "aptui/desktophandler.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace aptui {

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    // Texts quote file names and device texts: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

} // namespace

FolderMessageDialog::FolderMessageDialog(const QString &title, const QString &text, const QString &folder,
                                         QWidget *parent)
    : BaseDialog(false, false, false, false, true, true, true, parent)
    , m_folder(folder)
{
    setObjectName(QStringLiteral("FolderMessageDialog"));
    setTitle(title);
    // Confirm opens the folder and closes only when that worked.
    setEnableDefaultConnections(false, false, true, false, true);
    setConfirmButtonText(tr("Open Folder"));
    setCancelButtonText(tr("Close"));

    auto *centre = new QWidget;
    m_labelMessage = makeLabel(centre, "m_labelMessage", text);
    m_labelFolder = makeLabel(centre, "m_labelFolder", QDir::toNativeSeparators(folder));
    m_labelFolder->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_labelNoOpener = makeLabel(centre, "m_labelNoOpener",
                                tr("No program to open folders is installed.") + QLatin1Char(' ')
                                    + tr("The path above is selected: copy it with Ctrl+C."));
    m_labelNoOpener->hide();
    auto *layout = new QVBoxLayout(centre);
    layout->setContentsMargins(20, 12, 20, 8);
    layout->setSpacing(8);
    layout->addStretch(1);
    layout->addWidget(m_labelMessage);
    layout->addWidget(m_labelFolder);
    layout->addWidget(m_labelNoOpener);
    layout->addStretch(1);
    setCenterWidget(centre);
    // Long paths and messages grow the dialog instead of being cut off.
    setMinimumSize(440, 240);
    resize(440, 240);

    confirmButton()->setDefault(true);
    connect(this, &BaseDialog::signalConfirmButtonClicked, this, &FolderMessageDialog::onOpenFolder);
}

FolderMessageDialog::~FolderMessageDialog() = default;

QString FolderMessageDialog::text() const
{
    QStringList lines{m_labelMessage->text(), m_labelFolder->text()};
    if (!m_labelNoOpener->isHidden())
        lines << m_labelNoOpener->text();
    return lines.join(QLatin1Char('\n'));
}

void FolderMessageDialog::setFolderOpener(FolderOpener opener)
{
    m_opener = std::move(opener);
}

void FolderMessageDialog::onOpenFolder()
{
    m_opened = m_opener ? m_opener(m_folder) : DesktopHandler::open(QUrl::fromLocalFile(m_folder));
    if (m_opened) {
        accept();
        return;
    }
    m_labelNoOpener->show();
    confirmButton()->setEnabled(false);
    // The path is the way on: selected and focused, ready to be copied.
    m_labelFolder->setFocus(Qt::OtherFocusReason);
    m_labelFolder->setSelection(0, int(m_labelFolder->text().size()));
}

} // namespace aptui
