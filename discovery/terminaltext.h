#pragma once

#include <QString>

// Device fields on their way to a terminal, a line-based output or a
// spreadsheet (the console and the window's export share the rule). A
// device names itself: its texts may hold escape sequences that retitle or
// reprogram the user's terminal, line breaks and tabs that forge result
// lines, or direction overrides that show text in another order.
namespace TerminalText {

// The text with every control character (C0, DEL, C1), every invisible
// format character (direction marks and overrides, zero-width characters),
// line and paragraph separators and the backslash written as an escape:
// "\\" for the backslash, "\xHH" up to U+00FF, "\u{HHHH}" above. Printable
// text is left as it is; an escaped text never holds a tab or line break.
QString escape(const QString &text);

// escape(), then at most `maxLength` characters of it, with "..." when it
// was cut (an error message quotes input, never all of it).
QString excerpt(const QString &text, int maxLength);

} // namespace TerminalText
