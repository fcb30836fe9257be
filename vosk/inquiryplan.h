#pragma once

// When the client inquires, and what each inquiry asks. A burst is one
// inquiry followed by quick repeats; each repeat carries the known-answer
// lists of the devices heard since the burst began, so only the devices
// still missing answer it. The answer window is sized from the number of devices
// expected, so that answers arrive at about kAnswerRate whatever the
// fleet's size: a few devices answer within a tenth of a second, a full
// table of 16,384 is spread over most of a second. Library thread only.

#include "vosk/knownanswers.h"
#include "vosk/wiremessage.h"

#include <QList>

#include <vector>

namespace VoskNet {

class InquiryPlan final
{
public:
    // Answers a second the window is sized for.
    static constexpr int kAnswerRate = 20000;
    // The shortest window of a burst's first inquiry and of a repeat.
    static constexpr int kMinFirstWindow = 100;
    static constexpr int kMinRepeatWindow = 50;
    static constexpr int kMaxWindow = 1000;
    // The repeats of a burst, from its start.
    static constexpr qint64 kRepeatOffsets[] = {0, 120, 240, 360, 480, 600, 720, 840};

    // Repeats later than the round interval are left out (tests run short
    // rounds).
    explicit InquiryPlan(qint64 roundInterval);

    // A burst from now on, replacing what is left of the current one.
    // expected: how many devices should answer (0 when not known).
    void startBurst(qint64 now, int expected);
    qint64 burstStart() const { return m_burstStart; }
    // When the next inquiry is due; a large value when none is.
    qint64 nextDue() const;
    // The inquiries due at now (one for each slice of the known answers),
    // heard being the devices (MAC, serial number) heard since burstStart().
    // Each inquiry has a fresh id; they go out back to back, slice 0 first.
    QList<WireMessage> takeDue(qint64 now, const QList<KnownAnswers::Pair> &heard);

private:
    static int windowFor(int answers, int minimum);

    const qint64 m_roundInterval;
    qint64 m_burstStart = 0;
    int m_expected = 0;
    std::vector<qint64> m_due;
};

} // namespace VoskNet
