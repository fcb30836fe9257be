#pragma once

// A fleet of simulated devices behind one multicast socket: answers
// inquiries after a random 0..500 ms, carries out requests, announces
// start-up (hello), changes and shutdown (bye), keeps the devices' state
// in a file, and injects faults (loss, delay, refusal) for tests.

#include "tools/devsim/simdevice.h"
#include "tools/resetsvc/resetauthority.h"
#include "vosk/multicastsocket.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <deque>
#include <map>
#include <optional>
#include <random>
#include <vector>

namespace VoskSim {

struct FleetOptions
{
    // As many devices as the library's table holds.
    static constexpr int kMaxCount = 16384;
    quint64 seed = 1;
    int count = 16;
    QList<QByteArray> interfaces;  // empty: VOSK_INTERFACES, else every usable one
    QString statePath;             // empty: no state file
    double drop = 0.0;             // share of datagrams lost, each direction
    int delayMs = 0;               // added to every answer
    bool refuse = false;           // every operation refused (2009)
    QByteArray activePassword = "Admin12345";
    // Device 0 shows the address of the first interface, and a new address
    // given to it is put on that interface for real (`ip addr`).
    bool hostAddress = false;
    // The devices (by index) that start not activated; when not given,
    // about one in five, drawn from the seed.
    std::optional<QList<int>> inactive;
    // Ignore what later versions added to the inquiry (answer window, known
    // answers, slices) and answer every inquiry, as older devices do.
    bool legacy = false;
};

class SimFleet final
{
public:
    explicit SimFleet(const FleetOptions &options);

    // Builds the devices, loads the state file, opens the socket. false with
    // a reason when the fleet cannot run.
    bool open(QString &error);
    // Runs until stopFd becomes readable, then says bye for every device.
    void run(int stopFd);

    const std::vector<SimDevice> &devices() const { return m_devices; }

private:
    // Where a datagram goes: one interface of one family, or (index 0)
    // every interface of both.
    struct Target
    {
        VoskNet::Family family = VoskNet::Family::V4;
        int interfaceIndex = 0;
    };
    struct Scheduled
    {
        Target target;
        QByteArray datagram;
        // An answer is encoded when it goes out: device, and the inquiry id.
        int device = -1;
        QByteArray answers;
    };

    void handle(const VoskNet::MulticastSocket::Datagram &datagram, VoskNet::Family family, qint64 now);
    bool acceptable(const VoskNet::MulticastSocket::Datagram &datagram, VoskNet::Family family) const;
    void schedule(qint64 at, Target target, const QByteArray &datagram);
    void answerInquiry(const VoskNet::WireMessage &inquiry, Target arrival, qint64 now);
    void flushDue(qint64 now);
    void sendNow(Target target, const QByteArray &datagram);
    bool lose();
    void saveState();
    void applyHostAddress(const VoskNet::WireRecord &before, const VoskNet::WireRecord &after);

    FleetOptions m_options;
    VoskNet::NetConfig m_config;
    QList<VoskNet::NetInterface> m_interfaces;
    QList<VoskNet::NetInterface> m_interfaces6;
    VoskNet::MulticastSocket m_socket;
    VoskNet::MulticastSocket m_socket6;
    VoskReset::ResetAuthority m_authority;
    std::vector<SimDevice> m_devices;
    QHash<QByteArray, int> m_bySerial;
    QHash<QByteArray, int> m_byMac;
    std::vector<quint64> m_sliceHashes;  // by device
    std::vector<bool> m_answerPending;    // by device
    std::multimap<qint64, Scheduled> m_queue;
    QSet<QByteArray> m_seenInquiries;
    std::deque<QByteArray> m_seenOrder;
    std::mt19937_64 m_rng;
};

} // namespace VoskSim
