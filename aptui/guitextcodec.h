#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

class QTextCodec;

namespace TarnGUIToolkit {

// The 8-bit codec of the toolkit: texts that go into the discovery library's
// character fields (passwords, names) are encoded with it. Set once at
// start-up, before any page converts text; until then the locale's codec
// is used. A null codec is ignored. Any thread.
void InitGuiTextCodec(QTextCodec *codec);
QTextCodec *GuiTextCodec();

// The locale of the chosen language, set once at start-up. Until then the
// system locale. Any thread.
void InitGuiLocale(const QLocale &locale);
QLocale GuiLocale();

// The text as bytes in `codec`, or in the start-up codec when `codec` is
// null. Characters the codec cannot represent become '?'; the result is
// never longer than the codec makes it, callers cut it to their field.
// Any thread.
QByteArray ConvertFromUnicode(const QString &text, QTextCodec *codec = nullptr);

} // namespace TarnGUIToolkit
