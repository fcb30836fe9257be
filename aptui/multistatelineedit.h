#pragma once

#include <QHash>
#include <QLineEdit>

namespace aptui {

// A line edit whose state (Error, Tip, Normal) is the string property
// `_state`, so that style sheets select on it:
//   aptui--MultiStateLineEdit[_state="Error"] { border-color: #f74248; }
class MultiStateLineEdit final : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString _state READ stateName WRITE setStateName NOTIFY stateChanged)

public:
    enum State { ERROR = 1, TIP = 2, NORMAL = 3 };
    Q_ENUM(State)

    explicit MultiStateLineEdit(QWidget *parent = nullptr);

    State state() const { return m_state; }
    // "Error", "Tip" or "Normal".
    QString stateName() const;
    // Sets the state by name, in any letter case: "error"/"1", "tip"/"2",
    // "normal"/"3"; any other name gives ERROR. Re-polishes the widget so
    // that `_state` selectors apply at once, then emits stateChanged with the
    // new state's name (also when the state stays the same).
    void setStateName(const QString &name);

    static QString nameOf(State state);

public Q_SLOTS:
    void setLineEditState(aptui::MultiStateLineEdit::State state);

Q_SIGNALS:
    void stateChanged(const QString &state);

private:
    State m_state = NORMAL;
    QHash<QString, State> m_names;
};

} // namespace aptui

Q_DECLARE_METATYPE(aptui::MultiStateLineEdit::State)
