#include "devicelist/onvifsignindialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace VoskTool {

namespace {

// The standard's own default administrator, and what most devices of every
// maker ship with; the user changes it where a site differs.
const char kDefaultUserName[] = "admin";
constexpr int kMaxFieldLength = 64;

} // namespace

OnvifSignInDialog::OnvifSignInDialog(int checkedOnvif, QWidget *parent)
    : BaseDialog(false, false, false, false, true, true, true, parent)
{
    setObjectName(QStringLiteral("OnvifSignInDialog"));
    setTitle(tr("Sign in to ONVIF devices"));

    auto *centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("m_widgetSignInCentre"));
    auto *grid = new QGridLayout(centre);
    grid->setContentsMargins(40, 24, 40, 16);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(12);

    m_lineEditUserName = new QLineEdit(QLatin1String(kDefaultUserName), centre);
    m_lineEditUserName->setObjectName(QStringLiteral("m_lineEditUserName"));
    m_lineEditUserName->setMaxLength(kMaxFieldLength);
    m_lineEditPassword = new QLineEdit(centre);
    m_lineEditPassword->setObjectName(QStringLiteral("m_lineEditPassword"));
    m_lineEditPassword->setEchoMode(QLineEdit::Password);
    m_lineEditPassword->setMaxLength(kMaxFieldLength);
    m_lineEditPassword->setContextMenuPolicy(Qt::NoContextMenu);
    m_lineEditPassword->installEventFilter(this);

    m_radioAll = new QRadioButton(tr("For every ONVIF device"), centre);
    m_radioAll->setObjectName(QStringLiteral("m_radioAll"));
    m_radioChecked = new QRadioButton(tr("Only for the %n checked ONVIF device(s)", nullptr, checkedOnvif), centre);
    m_radioChecked->setObjectName(QStringLiteral("m_radioChecked"));
    auto *group = new QButtonGroup(this);
    group->addButton(m_radioAll);
    group->addButton(m_radioChecked);
    // Checked rows are the user's way of saying "these differ".
    m_radioChecked->setEnabled(checkedOnvif > 0);
    (checkedOnvif > 0 ? m_radioChecked : m_radioAll)->setChecked(true);

    m_labelComplaint = new QLabel(centre);
    m_labelComplaint->setObjectName(QStringLiteral("m_labelComplaint"));
    m_labelComplaint->setWordWrap(true);
    m_labelComplaint->setStyleSheet(QStringLiteral("color: #f74248;"));

    auto *note = new QLabel(tr("The password is kept in memory only, until the program ends."), centre);
    note->setObjectName(QStringLiteral("m_labelMemoryOnly"));
    note->setWordWrap(true);

    grid->addWidget(new QLabel(tr("User name:"), centre), 0, 0, Qt::AlignRight);
    grid->addWidget(m_lineEditUserName, 0, 1);
    grid->addWidget(new QLabel(tr("Password:"), centre), 1, 0, Qt::AlignRight);
    grid->addWidget(m_lineEditPassword, 1, 1);
    grid->addWidget(m_radioAll, 2, 1);
    grid->addWidget(m_radioChecked, 3, 1);
    grid->addWidget(m_labelComplaint, 4, 0, 1, 2);
    grid->addWidget(note, 5, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    setCenterWidget(centre);
    setConfirmButtonText(tr("Sign in"));
    setFixedSize(460, 330);

    // Confirm checks first; only a complete form closes the dialog.
    setEnableDefaultConnections(true, true, true, false, true);
    connect(this, &BaseDialog::signalConfirmButtonClicked, this, &OnvifSignInDialog::onConfirm);
    m_lineEditPassword->setFocus();
}

OnvifSignInDialog::~OnvifSignInDialog()
{
    // The typed password leaves no copy in the widget's buffer.
    m_lineEditPassword->clear();
}

OnvifCredentials OnvifSignInDialog::credentials() const
{
    return {m_lineEditUserName->text().trimmed(), m_lineEditPassword->text().toUtf8()};
}

bool OnvifSignInDialog::checkedOnly() const
{
    return m_radioChecked->isChecked();
}

void OnvifSignInDialog::setUserName(const QString &name)
{
    m_lineEditUserName->setText(name);
}

void OnvifSignInDialog::setPassword(const QString &password)
{
    m_lineEditPassword->setText(password);
}

void OnvifSignInDialog::setCheckedOnly(bool checkedOnly)
{
    if (checkedOnly && m_radioChecked->isEnabled())
        m_radioChecked->setChecked(true);
    else
        m_radioAll->setChecked(true);
}

QString OnvifSignInDialog::complaint() const
{
    return m_labelComplaint->text();
}

void OnvifSignInDialog::onConfirm()
{
    // An empty password is legitimate (a device without one); an empty
    // user name never is.
    if (m_lineEditUserName->text().trimmed().isEmpty()) {
        m_labelComplaint->setText(tr("Please enter the user name."));
        m_lineEditUserName->setFocus();
        return;
    }
    m_labelComplaint->clear();
    accept();
}

bool OnvifSignInDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lineEditPassword && event->type() == QEvent::KeyPress) {
        // A password is typed, never carried through the clipboard.
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut))
            return true;
    }
    return BaseDialog::eventFilter(watched, event);
}

} // namespace VoskTool
