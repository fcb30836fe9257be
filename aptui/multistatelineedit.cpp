#include "aptui/multistatelineedit.h"

#include <QStyle>

namespace aptui {

MultiStateLineEdit::MultiStateLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    qRegisterMetaType<State>("aptui::MultiStateLineEdit::State");
    m_names = {
        {QStringLiteral("ERROR"), ERROR}, {QStringLiteral("1"), ERROR},
        {QStringLiteral("TIP"), TIP},     {QStringLiteral("2"), TIP},
        {QStringLiteral("NORMAL"), NORMAL}, {QStringLiteral("3"), NORMAL},
    };
}

QString MultiStateLineEdit::nameOf(State state)
{
    switch (state) {
    case TIP: return QStringLiteral("Tip");
    case NORMAL: return QStringLiteral("Normal");
    case ERROR: break;
    }
    return QStringLiteral("Error");
}

QString MultiStateLineEdit::stateName() const
{
    return nameOf(m_state);
}

void MultiStateLineEdit::setStateName(const QString &name)
{
    m_state = m_names.value(name.toUpper(), ERROR);
    // Property selectors are matched when the style polishes the widget.
    style()->unpolish(this);
    style()->polish(this);
    update();
    Q_EMIT stateChanged(stateName());
}

void MultiStateLineEdit::setLineEditState(aptui::MultiStateLineEdit::State state)
{
    setStateName(nameOf(state));
}

} // namespace aptui
