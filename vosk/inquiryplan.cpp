#include "vosk/inquiryplan.h"

#include <QSet>

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

QList<WireMessage> InquiryPlan::takeDue(qint64 now, const QList<KnownAnswers::Pair> &heard)
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
    while (heard.size() > qsizetype(slices) * KnownAnswers::kDevicesPerSlice && slices < KnownAnswers::kMaxSlices)
        slices *= 2;
    // By slice: the pair entries, and the distinct MACs for the devices
    // that read only the MAC list (twins share theirs, and their slice).
    struct Slice
    {
        QList<QByteArray> pairs;
        QList<QByteArray> macs;
        QSet<QByteArray> seenMacs;
    };
    std::vector<Slice> bySlice(static_cast<std::size_t>(slices));
    for (const KnownAnswers::Pair &device : heard) {
        Slice &slice = bySlice[std::size_t(KnownAnswers::sliceOf(device.first, slices))];
        slice.pairs.append(KnownAnswers::pairEntry(device.first, device.second));
        if (!slice.seenMacs.contains(device.first)) {
            slice.seenMacs.insert(device.first);
            slice.macs.append(device.first);
        }
    }
    for (int slice = 0; slice < slices; ++slice) {
        WireMessage inquiry;
        inquiry.type = MessageType::Inquiry;
        inquiry.id = WireMessage::newId();
        inquiry.answerWindow = quint16(window);
        if (slices > 1) {
            inquiry.slice = quint8(slice);
            inquiry.slices = quint8(slices);
        }
        const Slice &lists = bySlice[std::size_t(slice)];
        int hashes = 0;
        inquiry.known = KnownAnswers::build(inquiry.id, lists.macs, hashes);
        inquiry.knownHashes = quint8(hashes);
        inquiry.knownPairs = KnownAnswers::build(inquiry.id, lists.pairs, hashes);
        inquiry.knownPairHashes = quint8(hashes);
        inquiries.append(inquiry);
    }
    return inquiries;
}

} // namespace VoskNet
