#include "aptui/newpasswordrows.h"

#include "aptui/guitextcodec.h"
#include "aptui/multistatelineedit.h"
#include "aptui/passwordstrengthmeter.h"
#include "netparam/rules/passwordpolicy.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QTextCodec>

#include <algorithm>

namespace VoskTool {

namespace {

QLabel *makeLabel(QWidget *owner, const char *name, const QString &text = QString())
{
    auto *label = new QLabel(text, owner);
    label->setObjectName(QLatin1String(name));
    return label;
}

aptui::MultiStateLineEdit *makePasswordField(QWidget *owner, const char *name)
{
    auto *field = new aptui::MultiStateLineEdit(owner);
    field->setObjectName(QLatin1String(name));
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(kMaxPasswordBytes);
    field->setContextMenuPolicy(Qt::NoContextMenu);
    return field;
}

QLabel *makeBar(QWidget *owner, const char *name)
{
    QLabel *bar = makeLabel(owner, name);
    bar->setPixmap(QPixmap(aptui::PasswordStrengthMeter::greyImage()));
    return bar;
}

} // namespace

void clearFieldMark(aptui::MultiStateLineEdit *field, QLabel *hint)
{
    field->setLineEditState(aptui::MultiStateLineEdit::NORMAL);
    hint->clear();
}

NewPasswordRows::NewPasswordRows(QWidget *owner, const char *confirmCaptionName)
    : QObject(owner)
    , m_lineEditNewPassword(makePasswordField(owner, "m_lineEditNewPassword"))
    , m_lineEditConfirmPassword(makePasswordField(owner, "m_lineEditConfirmPassword"))
    , m_labelNewPassword(makeLabel(owner, "m_labelNewPassword", tr("New Password:")))
    , m_labelConfirmPassword(makeLabel(owner, confirmCaptionName, tr("Confirm Password:")))
    , m_labelHintNewPassword(makeLabel(owner, "m_labelHintNewPassword"))
    , m_labelHintConfirmPassword(makeLabel(owner, "m_labelHintConfirmPassword"))
    , m_labelLevel1(makeBar(owner, "m_labelLevel1"))
    , m_labelLevel2(makeBar(owner, "m_labelLevel2"))
    , m_labelLevel3(makeBar(owner, "m_labelLevel3"))
    , m_labelLevel(makeLabel(owner, "m_labelLevel"))
    , m_labelHintLevel(makeLabel(owner, "m_labelHintLevel"))
    , m_meter(std::make_unique<aptui::PasswordStrengthMeter>(m_labelLevel1, m_labelLevel2, m_labelLevel3,
                                                             m_labelLevel))
{
    for (QLabel *hint : {m_labelHintNewPassword, m_labelHintConfirmPassword, m_labelHintLevel})
        hint->setFixedSize(16, 16);
}

NewPasswordRows::~NewPasswordRows() = default;

int NewPasswordRows::addTo(QGridLayout *grid, int row, int column)
{
    grid->addWidget(m_labelNewPassword, row, column);
    grid->addWidget(m_lineEditNewPassword, row, column + 1);
    grid->addWidget(m_labelHintNewPassword, row, column + 2);
    auto *strength = new QHBoxLayout;
    strength->setSpacing(2);
    for (QLabel *label : {m_labelLevel1, m_labelLevel2, m_labelLevel3, m_labelLevel, m_labelHintLevel})
        strength->addWidget(label);
    strength->addStretch();
    grid->addLayout(strength, row + 1, column + 1);
    grid->addWidget(m_labelConfirmPassword, row + 2, column);
    grid->addWidget(m_lineEditConfirmPassword, row + 2, column + 1);
    grid->addWidget(m_labelHintConfirmPassword, row + 2, column + 2);
    return row + 3;
}

void NewPasswordRows::setTargets(const PasswordTargets &targets)
{
    m_targets = targets;
    const int length = std::max(targets.local ? kMaxPasswordBytes : 0, targets.utf8MaxCharacters);
    for (aptui::MultiStateLineEdit *field : {m_lineEditNewPassword, m_lineEditConfirmPassword})
        field->setMaxLength(length > 0 ? length : kMaxPasswordBytes);
}

void NewPasswordRows::showStrength(const QString &password)
{
    const QString why = refusalOf(password);
    if (!why.isEmpty()) {
        m_meter->showRefusal(why);
        return;
    }
    const int level = m_targets.local ? adminPasswordLevel(password, TarnGUIToolkit::GuiTextCodec())
                                      : passwordLevel(QByteArray(kAdminUserName), password.toUtf8());
    const QString words[] = {QString(), tr("Weak"), tr("Medium"), tr("Strong")};
    m_meter->showStrength(level, words[std::clamp(level, 0, 3)]);
}

QString NewPasswordRows::refusalOf(const QString &password) const
{
    if (password.isEmpty())
        return QString();
    // Rated as check() rates it: on our devices' bytes where they are
    // among the targets, else on the UTF-8 ones.
    const bool local = m_targets.local || m_targets.utf8MaxCharacters <= 0;
    QTextCodec *codec = TarnGUIToolkit::GuiTextCodec();
    if (!codec)
        codec = QTextCodec::codecForLocale();
    const QByteArray bytes = local ? codec->fromUnicode(password) : password.toUtf8();
    if (m_targets.local && bytes.size() > kMaxPasswordBytes)
        return tr("Too long: over %1 bytes").arg(kMaxPasswordBytes);
    if (m_targets.utf8MaxCharacters > 0 && password.size() > m_targets.utf8MaxCharacters)
        return tr("Too long: over %1 characters").arg(m_targets.utf8MaxCharacters);
    switch (passwordWeakness(QByteArray(kAdminUserName), bytes)) {
    case PasswordWeakness::TooShort:
        return tr("Too short: under %1 characters").arg(kMinPasswordLength);
    case PasswordWeakness::UserName:
        return tr("Same as the user name");
    case PasswordWeakness::OneKind:
        return tr("Only one kind of character");
    case PasswordWeakness::None:
        break;
    }
    return QString();
}

bool NewPasswordRows::check(Wording wording, const Reporter &report, QByteArray *bytes)
{
    const QString password = m_lineEditNewPassword->text();
    const NewPasswordCheck result =
        checkNewPassword(password, m_lineEditConfirmPassword->text(), TarnGUIToolkit::GuiTextCodec(), m_targets);
    QString text;
    bool tall = false;
    switch (result) {
    case NewPasswordCheck::Accepted:
        if (!m_targets.local)
            return encodeUtf8Password(password, m_targets.utf8MaxCharacters, bytes) == PasswordEncoding::Ok;
        return encodePassword(password, TarnGUIToolkit::GuiTextCodec(), bytes) == PasswordEncoding::Ok;
    case NewPasswordCheck::Empty:
        if (wording == Wording::ResetDialogs)
            m_lineEditNewPassword->setFocus();
        text = tr("The password can not be empty.");
        break;
    case NewPasswordCheck::Mismatch:
        text = tr("The password you typed do not match.");
        break;
    case NewPasswordCheck::NotRepresentable:
        text = tr("The password contains a character that cannot be sent to the device.");
        break;
    case NewPasswordCheck::TooLong:
        // Our devices' limit is the stricter one wherever they are among
        // the targets.
        text = m_targets.local ? tr("The password is too long: at most 16 bytes.")
                               : tr("The password is too long: at most %1 characters.")
                                     .arg(m_targets.utf8MaxCharacters);
        break;
    case NewPasswordCheck::TooWeak:
        tall = true;
        text = ruleText(wording);
        break;
    }
    if (report)
        report(text, tall);
    return false;
}

QString NewPasswordRows::ruleText(Wording wording) const
{
    // Devices that take UTF-8 only (ONVIF) take longer passwords than
    // ours: the range said is theirs. Where ours are among the targets
    // their range is the one that binds.
    if (!m_targets.local && m_targets.utf8MaxCharacters > 0) {
        return tr("Valid password range [8-%1]. You can use a combination of numbers, lowercase, uppercase "
                  "and special characters for your password, with at least two kinds of them contained.")
            .arg(m_targets.utf8MaxCharacters);
    }
    return wording == Wording::ResetDialogs
        ? tr("Valid password range [8-16]. You can use a combination of numbers, lowercase, uppercase "
             "and special character for your password with at least two kinds of them contained.")
        : tr("Valid password range [8-16]. You can use a combination of numbers,lowercase, uppercase and "
             "special character for your password with at least two kinds of them contained.");
}

void NewPasswordRows::clear()
{
    m_lineEditNewPassword->clear();
    m_lineEditConfirmPassword->clear();
    m_meter->showStrength(0, QString());
    clearMarks();
}

bool NewPasswordRows::filter(QObject *watched, QEvent *event)
{
    aptui::MultiStateLineEdit *field = nullptr;
    QLabel *hint = nullptr;
    if (watched == m_lineEditNewPassword) {
        field = m_lineEditNewPassword;
        hint = m_labelHintNewPassword;
    } else if (watched == m_lineEditConfirmPassword) {
        field = m_lineEditConfirmPassword;
        hint = m_labelHintConfirmPassword;
    } else {
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        clearFieldMark(field, hint);
        return false;
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste)) {
            event->accept();
            return event->type() == QEvent::KeyPress;
        }
    }
    return false;
}

void NewPasswordRows::clearMarks()
{
    clearFieldMark(m_lineEditNewPassword, m_labelHintNewPassword);
    clearFieldMark(m_lineEditConfirmPassword, m_labelHintConfirmPassword);
}

} // namespace VoskTool
