#pragma once

#include "discovery/devicekey.h"
#include "onvif/deviceclient.h"
#include "operations/deviceoperations.h"
#include "operations/onvifcertificates.h"
#include "vosk/vosk.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QVector>

#include <memory>
#include <vector>

class QNetworkAccessManager;

namespace Onvif {
class DeviceClient;
class DiscoveryClient;
struct DiscoveredDevice;
struct DiscoveryOptions;
} // namespace Onvif

namespace VoskTool {

// A user name and password for ONVIF devices. Held in memory only: never
// written to a file, a setting or a log.
struct OnvifCredentials
{
    // The longest password the ONVIF side takes, in characters as typed;
    // it goes to the device as UTF-8, the standard's encoding. One limit
    // for the sign-in dialog and the pane's forms of ONVIF rows.
    static constexpr int kMaxPasswordLength = 64;

    QString username;
    QByteArray password; // UTF-8
    bool isEmpty() const { return username.isEmpty(); }
};

// What an operation needs to reach one ONVIF device: a copy, taken under
// the registry's lock, that stays valid however the list changes.
struct OnvifTarget
{
    QString endpointReference;
    QUrl serviceAddress;
    OnvifCredentials credentials; // the device's own, else the ones for all; may be empty
    bool factoryState = false;    // no user yet: listed as not activated
    // The service over HTTPS when the device offers it (an https XAddr on
    // the host it answered from, or HTTPS in GetNetworkProtocols); invalid
    // when it is known for plain HTTP only.
    QUrl secureAddress;
    // Where the calls that carry a password go: HTTPS when offered.
    QUrl callAddress() const { return secureAddress.isValid() ? secureAddress : serviceAddress; }
};

// The ONVIF side of the device list, beside VOSK::VoskHandler for our own
// protocol: WS-Discovery (Onvif::DiscoveryClient) turned into device
// records, and sign-in (device information, interfaces, gateway, protocols
// read with the user's credentials) turned into their cells.
//
// Each ONVIF device is one record made by VOSK::makeOnvifRecord() (keyed by
// its endpoint id, see discovery/onvifrecord.h) and reported through the
// same three signals as VoskHandler's, so the table's report queue, the
// store and the model take both kinds alike. Before sign-in a record holds
// only what discovery said (the service address's host in the IPv4 or the
// IPv6 cell, by its family, and its HTTP port; name, hardware and location
// from the scopes).
//
// Factory state (notActivated) comes only from positive evidence: the
// FactoryDefault scope, or a device without it that answers without
// credentials what a device with users refuses (an empty user list and its
// network interfaces; asked once when the device is first heard). It is
// kept until the device leaves it: announces itself without the scope,
// stops giving the evidence, or is activated. No credentials go to a
// device in factory state: its sign-in is NotActivated (one without the
// scope is asked for the evidence again first). An empty anonymous user
// list alone is not factory state (devices hide their users so), nor is a
// refused sign-in.
//
// Sign-in runs on the owner thread with Onvif::DeviceClient, up to
// signInsInFlight() devices at once (a few per host), so that silent
// devices time out together and a thousand devices are read within
// seconds, and a host with many devices cannot starve the others. A device whose
// credentials are refused gets the OnvifSignInRefused flag and keeps the
// cells it had. IPv6 (VOSK_CAP_IPV6 and VOSK_CAP_IPV6_MODIFIABLE) is what
// the device reports: an IPv6 block that is enabled.
//
// Calls that carry credentials go over HTTPS where the device offers it
// (see OnvifTarget::secureAddress), its certificate trusted on first use
// and refused when it changes (certificates()); a device in factory state
// is asked its protocols anonymously when first heard, so that activation
// knows before it sends the first password whether that goes in clear.
//
// While a sign-in of a device runs (signIn(), or the read after a change
// the device took) its record carries the OnvifSigningIn flag: reported
// (signalDeviceUpdate) when the reads start and cleared in the report of
// their end, whatever they came to. The anonymous GetUsers check of a
// device first heard does not set it.
//
// An ONVIF device is its endpoint reference and the address it was signed
// in at (or the tool moved it to: noteMoved()). Nothing proves who sends a
// discovery datagram, so another host announcing a listed endpoint
// reference (a higher MetadataVersion, a Bye then a Hello) neither moves
// the row nor is sent anything: it gets a row of its own beside it, both
// share the endpoint group (onvifrecord.h), and the store and
// VOSK::DeviceIdentity treat them as twins. A row of an endpoint reference
// that was signed in elsewhere is marked OnvifElsewhere; one whose service
// address names another host than the one that answered (another IP
// address, or a host name, which is then not resolved) OnvifOtherHost and
// is asked nothing at all. Such rows, and rows whose identity another
// row shares (DeviceStore::sharingIdentity()), are signed in only when
// the user picked them (signIn() with `picked`, or pick()). A device moved
// by DHCP is such a row at its new address: signed in there when the user
// picks it. Only the host's port may change under a row by discovery.
//
// The object lives on the thread that made it (the GUI thread, or the
// console's main thread) and needs its event loop; signals are emitted
// there. target(), setCredentials() and the note...() calls may be made
// from any thread: the ONVIF device kind (OnvifDeviceOperations) calls
// them from the operation threads.
class OnvifDevices final : public QObject
{
    Q_OBJECT

public:
    // Discovery on the standard's port and group, or on the port
    // VOSK_ONVIF_PORT names (tests and sites that move it, as VOSK_PORT
    // moves ours).
    explicit OnvifDevices(QObject *parent = nullptr);
    explicit OnvifDevices(const Onvif::DiscoveryOptions &options, QObject *parent = nullptr);
    ~OnvifDevices() override;

    // The instance the device kind and the pages use; null when none was
    // made (the program makes one at start-up, tests their own).
    static OnvifDevices *instance();

    // Starts listening and a first probe on the discovery's interfaces
    // (VOSK_INTERFACES pins them, as for our protocol). False when no
    // interface could be used.
    bool start();
    void stop();
    // A new listening window (the tool's "refresh").
    void probe();
    // A directed probe to addresses another subnet holds. False, sending
    // nothing, when not started or for too many addresses.
    bool probeAddresses(const QList<QHostAddress> &addresses);

    // Credentials for every ONVIF device that has none of its own.
    void setCredentials(const OnvifCredentials &credentials);
    // Credentials for one device, before the ones for all.
    void setCredentials(const DeviceKey &device, const OnvifCredentials &credentials);
    // Reads every given device (all ONVIF devices when empty) with its
    // credentials and reports the filled records (signalDeviceUpdate);
    // signInFinished for each, then signInDone once. A device whose
    // identity is in question (see above) is sent nothing and finishes
    // Cancelled, unless `picked`: the user chose these devices (pick()).
    void signIn(const QVector<DeviceKey> &devices = {}, bool picked = false);
    // The user chose these devices as the ones they mean: each becomes its
    // endpoint reference's device at its address (OnvifElsewhere and
    // OnvifOtherHost cleared; the other rows of the reference are then
    // elsewhere) and may be signed in. Owner thread.
    void pick(const QVector<DeviceKey> &devices);
    // Whether a sign-in would send the device its credentials without a
    // pick. Owner thread.
    bool mayBeSignedIn(const DeviceKey &device) const;

    // Thread-safe: where and as whom to reach the device. False when it is
    // not (or no longer) listed.
    bool target(const DeviceKey &device, OnvifTarget *target) const;

    // Thread-safe, for the device kind after a change the device took:
    // the device now answers at `serviceAddress` (target() says so at
    // once) and took `credentials`: a device without credentials of its
    // own keeps these (unless they are the ones for all), and the row is
    // read again there.
    void noteMoved(const DeviceKey &device, const QUrl &serviceAddress, const OnvifCredentials &credentials);
    // The device has its first user now: it leaves factory state, keeps
    // `credentials` as its own (in memory, as every credential here) and
    // is read with them.
    void noteActivated(const DeviceKey &device, const OnvifCredentials &credentials);
    // The certificates kept for devices reached over HTTPS; thread-safe.
    OnvifCertificates &certificates() const { return *m_certificates; }
    // The check a client of the device uses over HTTPS: the certificate
    // kept for endpoint, or on first use the one shown. A refusal is
    // remembered (certificates().refusals()) and certificateRefused() follows
    // on the owner thread. Any thread; the check may outlive this object.
    Onvif::DeviceClient::CertificateCheck certificateCheck(const QString &endpoint);

    // The device refused the standard's activation although it has no user:
    // it needs its maker's own tool (the OnvifMakersActivation flag).
    void noteMakersActivation(const DeviceKey &device);

    // How many devices are read at once (1..256; default 64), and each
    // HTTP exchange's time-out in milliseconds (default 4000). For the
    // next sign-in.
    void setSignInsInFlight(int count);
    int signInsInFlight() const { return m_maxInFlight; }
    void setCallTimeout(int milliseconds);

Q_SIGNALS:
    void signalDeviceOnline(VOSK_DEVICE_INFO record);
    void signalDeviceOffline(VOSK_DEVICE_INFO record);
    void signalDeviceUpdate(VOSK_DEVICE_INFO record);
    // Done: signed in and read; Denied: credentials refused; TimedOut,
    // Failed (code: the Onvif::ErrorKind).
    void signInFinished(const DeviceKey &device, const VoskTool::OperationOutcome &outcome);
    void signInDone();
    // Relayed from the discovery: how a probeAddresses() run goes (asked
    // of total, devices that answered from them) and its end.
    void directedProbeProgress(int asked, int total, int answered);
    void directedProbeFinished(int asked, int answered);
    // A device's certificate was refused as changed: the refusals are in
    // certificates(). Once per batch of refusals, on the owner thread.
    void certificateRefused();

private:
    struct Device;
    enum class Job { Check, SignIn };
    // What an operation thread learnt of a device (the note...() calls),
    // for the owner thread's record.
    struct Note
    {
        enum Kind { Moved, Activated, MakersActivation, CertificateRefused } kind;
        QString id;
        QString host; // Moved: the new service address's host
    };

    void onFound(const Onvif::DiscoveredDevice &found);
    void onChanged(const Onvif::DiscoveredDevice &found);
    void onLost(const QString &endpoint, const QString &origin);
    bool trusted(const std::shared_ptr<Device> &device) const;
    // Owner thread: the OnvifElsewhere marks of the rows of one endpoint
    // reference, from where it is bound; reports the rows that changed.
    void markElsewhere(const QString &endpoint);
    // Owner thread: the row of that endpoint reference that answers from
    // `host` and that the tool did not move there joins `device` (its
    // row is taken off the list).
    void absorb(const std::shared_ptr<Device> &device, const QString &host);
    void enqueue(const QString &id, Job job);
    void pump();
    void runCheck(const std::shared_ptr<Device> &device);
    void runSignIn(const std::shared_ptr<Device> &device);
    // The reads with the user's credentials, on the sign-in's client.
    void readSignedIn(const std::shared_ptr<Device> &device, Onvif::DeviceClient *client,
                      const OnvifCredentials &credentials);
    // Owner thread: the anonymous evidence of factory state found or gone;
    // the device's factory state and row follow.
    void setFactoryEvidence(const std::shared_ptr<Device> &device, bool evidence);
    void jobDone(const std::shared_ptr<Device> &device, Job job);
    void finishSignIn(const std::shared_ptr<Device> &device, const OperationOutcome &outcome);
    void report(const std::shared_ptr<Device> &device, int event);
    OnvifCredentials credentialsLocked(const QString &id) const;
    // Any thread, m_mutex held: queues a note and posts one takeNotes().
    void postNoteLocked(Note note);
    // Owner thread: applies the notes in order.
    void takeNotes();

    // The HTTPS port an https XAddr of `found` names on the host of its
    // service address; 0 when none.
    static int announcedHttpsPort(const Onvif::DiscoveredDevice &found, const QUrl &service);
    Onvif::DeviceClient *makeClient(const std::shared_ptr<Device> &device, const QUrl &address);

    std::unique_ptr<Onvif::DiscoveryClient> m_discovery;
    QNetworkAccessManager *m_network;
    std::shared_ptr<OnvifCertificates> m_certificates;
    // Guards what target() and the thread-safe calls read or write: the
    // devices' addresses and states, and the credentials. The records are
    // the owner thread's alone.
    mutable QMutex m_mutex;
    QHash<QString, std::shared_ptr<Device>> m_devices; // by endpoint id (the row's key)
    // Where each endpoint reference was signed in, or moved by the tool,
    // or picked: the host of its service address (no zone).
    QHash<QString, QString> m_bound;
    // Owner thread: the discovery entries (endpoint reference, origin)
    // each row stands for.
    QHash<QString, QString> m_claims; // claimKey() -> endpoint id
    QHash<QString, QStringList> m_byEndpoint; // endpoint reference -> its rows' ids
    OnvifCredentials m_common;
    QHash<QString, OnvifCredentials> m_own; // by endpoint id
    // Owner thread: the jobs waiting, in order, and how many run.
    QList<QPair<QString, Job>> m_queue;
    int m_running = 0;
    // Jobs running per host: a host announcing many devices (a rogue, or
    // a recorder) gets a few at a time, so that it cannot hold every slot
    // while other hosts' devices wait.
    QHash<QString, int> m_runningPerHost;
    int m_signInsOutstanding = 0;
    int m_maxInFlight = 64;
    int m_timeoutMs = 4000;
    // Guarded by m_mutex: the notes waiting for takeNotes(), and whether
    // one is posted.
    std::vector<Note> m_notes;
    bool m_notesPosted = false;
};

} // namespace VoskTool
