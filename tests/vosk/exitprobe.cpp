// A program shaped like the tool at exit: the discovery handler singleton
// starts the real library, devices keep reporting, and the handler is only
// destroyed (and so discovery stopped) while static objects are torn down,
// after the application object is gone, or in a process that never had
// one. tst_voskexit runs it and expects a clean exit.
//   vosk-exitprobe app|noapp COUNT

#include "discovery/voskhandler.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

std::atomic<int> g_online{0};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const bool withApp = std::strcmp(argv[1], "app") == 0;
    const int count = std::atoi(argv[2]);
    std::optional<QCoreApplication> app;
    if (withApp)
        app.emplace(argc, argv);

    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    QObject::connect(handler, &VOSK::VoskHandler::signalDeviceOnline, handler,
                     [](const VOSK_DEVICE_INFO &) { ++g_online; }, Qt::DirectConnection);
    handler->setDeviceFilterRule(false);
    if (!handler->start())
        return 3;
    for (int i = 0; i < 1000 && g_online < count; ++i)
        QThread::msleep(10);
    std::printf("found %d\n", g_online.load());
    std::fflush(stdout);
    // Every device answers again while the process is going down.
    handler->clearup();
    handler->sendInquiry();
    QThread::msleep(100);
    app.reset();
    return 0;
}
