#pragma once

// A test double of the discovery library: implements every VOSK_* function,
// records each call with its arguments, returns programmed results and fires
// the report callback from a thread of its own. Linked by tests in place of
// the real library.

#include "vosk/vosk.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace VoskDouble {

struct Call
{
    QString function;      // e.g. "VOSK_Start_V30"
    QVariantList args;     // ints as int, strings and blocks as QByteArray
};

// Forgets every call and programmed value: every function returns 1,
// VOSK_GetLastError returns 0, no callback is stored.
void reset();

QList<Call> calls();
int callCount(const QString &function);
// The arguments of the last call of that function; empty if none.
QVariantList lastArgs(const QString &function);

// Programs what a function returns from now on.
void setResult(const QString &function, int result);
// Programs a sequence of results: consumed one per call, then the last
// setResult value applies again.
void queueResults(const QString &function, const QList<int> &results);
void setLastError(int code);
// What VOSK_GetLockedSeconds returns (0 after reset()).
void setLockedSeconds(int seconds);
// What VOSK_GetDeviceConfig copies into the answer buffer (cut to its size).
void setConfigAnswer(const QByteArray &answer);

// Calls the callback stored by VOSK_Start_V30 with this record and the
// stored user pointer, from a new thread, and waits for that thread.
void fire(const VOSK_DEVICE_INFO &record);
// The same with any record pointer and user pointer (may be null).
void fireRaw(const VOSK_DEVICE_INFO *record, void *user);
// Whether a callback is stored (VOSK_Start_V30 succeeded and no Stop since).
bool hasCallback();

} // namespace VoskDouble
