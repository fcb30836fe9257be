#include "vosk/inquiryplan.h"

#include "vosk/knownanswers.h"

#include <algorithm>
#include <limits>

namespace VoskNet {

InquiryPlan::InquiryPlan(qint64 roundInterval)
    : m_roundInterval(roundInterval)
{
}

int InquiryPlan::windowFor(int answers, int minimum)
{
    return std::clamp(int(qint64(answers) * 1000 / kAnswerRate), minimum, kMaxWindow);
}

void InquiryPlan::startBurst(qint64 now, int expected)
{
    m_burstStart = now;
    m_expected = expected;
    m_due.clear();
    for (const qint64 offset : kRepeatOffsets) {
        if (offset == 0 || offset < m_roundInterval)
            m_due.push_back(now + offset);
    }
}

qint64 InquiryPlan::nextDue() const
{
    return m_due.empty() ? std::numeric_limits<qint64>::max() : m_due.front();
}

QList<WireMessage> InquiryPlan::takeDue(qint64 now, const QList<QByteArray> &heard)
{
    QList<WireMessage> inquiries;
    if (m_due.empty() || m_due.front() > now)
        return inquiries;
    const bool first = m_due.front() == m_burstStart;
    // Sent late (the loop was busy reading answers): the later repeats move
    // by as much, so each still comes after the answers to the one before.
    const qint64 late = now - m_due.front();
    m_due.erase(m_due.begin());
    for (qint64 &due : m_due)
        due += late;

    const int window = first ? windowFor(m_expected, kMinFirstWindow)
                             : windowFor(std::max(0, m_expected - int(heard.size())), kMinRepeatWindow);
    int slices = 1;
    while (heard.size() > qsizetype(slices) * KnownAnswers::kMacsPerSlice && slices < KnownAnswers::kMaxSlices)
        slices *= 2;
    std::vector<QList<QByteArray>> bySlice(static_cast<std::size_t>(slices));
    for (const QByteArray &mac : heard)
        bySlice[std::size_t(KnownAnswers::sliceOf(mac, slices))].append(mac);
    for (int slice = 0; slice < slices; ++slice) {
        WireMessage inquiry;
        inquiry.type = MessageType::Inquiry;
        inquiry.id = WireMessage::newId();
        inquiry.answerWindow = quint16(window);
        if (slices > 1) {
            inquiry.slice = quint8(slice);
            inquiry.slices = quint8(slices);
        }
        int hashes = 0;
        inquiry.known = KnownAnswers::build(inquiry.id, bySlice[std::size_t(slice)], hashes);
        inquiry.knownHashes = quint8(hashes);
        inquiries.append(inquiry);
    }
    return inquiries;
}

} // namespace VoskNet
