#include "aptui/guitextcodec.h"

#include <QMutex>
#include <QMutexLocker>
#include <QTextCodec>

#include <atomic>

namespace TarnGUIToolkit {

namespace {

// QTextCodec objects live until the process ends, so a plain pointer that
// is published once is safe to read from worker threads.
std::atomic<QTextCodec *> s_codec{nullptr};

QMutex &localeMutex()
{
    static QMutex mutex;
    return mutex;
}

QLocale &guiLocale()
{
    static QLocale locale = QLocale::system();
    return locale;
}

} // namespace

void InitGuiTextCodec(QTextCodec *codec)
{
    if (codec)
        s_codec.store(codec, std::memory_order_release);
}

QTextCodec *GuiTextCodec()
{
    QTextCodec *codec = s_codec.load(std::memory_order_acquire);
    return codec ? codec : QTextCodec::codecForLocale();
}

void InitGuiLocale(const QLocale &locale)
{
    const QMutexLocker locker(&localeMutex());
    guiLocale() = locale;
}

QLocale GuiLocale()
{
    const QMutexLocker locker(&localeMutex());
    return guiLocale();
}

QByteArray ConvertFromUnicode(const QString &text, QTextCodec *codec)
{
    QTextCodec *used = codec ? codec : GuiTextCodec();
    return used->fromUnicode(text);
}

} // namespace TarnGUIToolkit
