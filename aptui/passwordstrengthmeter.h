#pragma once

#include <QString>

class QLabel;

namespace aptui {

// The three coloured bars and the level word beside a new-password field.
// Holds the form's labels, owns none of them. GUI thread.
//
//   level 0: grey grey grey, no word      level 2: yellow yellow grey
//   level 1: red grey grey                level 3: green green green
//
// The words are the caller's, so that each form translates them in its own
// context.
class PasswordStrengthMeter final
{
public:
    PasswordStrengthMeter(QLabel *bar1, QLabel *bar2, QLabel *bar3, QLabel *levelText);

    // Sets the bars for level 0..3 (anything else shows as 0) and the level
    // text to `word` (emptied for level 0).
    void showStrength(int level, const QString &word);
    // Why the policy refuses the password (`why`, the caller's words),
    // marked as an error, in place of the bars (hidden until the next
    // showStrength()).
    void showRefusal(const QString &why);

    static QString greyImage();
    static QString redImage();
    static QString yellowImage();
    static QString greenImage();

private:
    QLabel *m_bars[3];
    QLabel *m_levelText;
};

} // namespace aptui
