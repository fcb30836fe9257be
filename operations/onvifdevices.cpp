#include "operations/onvifdevices.h"

#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "onvif/deviceclient.h"
#include "onvif/devicerequests.h"
#include "onvif/discoveryclient.h"
#include "operations/onvifnetview.h"
#include "operations/onvifoutcome.h"
#include "operations/operationslog.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSet>

#include <cstring>
#include <functional>

namespace VoskTool {

namespace {

QPointer<OnvifDevices> g_instance;

constexpr int kMaxInFlight = 256;
// Jobs at once on one host (each device has a host of its own on a real
// site; many endpoints behind one address are a recorder or a rogue).
constexpr int kMaxInFlightPerHost = 4;

Onvif::DiscoveryOptions defaultOptions()
{
    Onvif::DiscoveryOptions options;
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("VOSK_ONVIF_PORT", &ok);
    if (ok && port > 0 && port < 65536)
        options.port = quint16(port);
    return options;
}

// The address cells a service address's host fills: the IPv4 cell for an
// IPv4 host, the IPv6 cell (without the zone a link-local host carries)
// for an IPv6 one. The other family's cell is left as it is.
void setHostCells(VOSK_DEVICE_INFO &record, const QString &host)
{
    if (Onvif::DeviceRequests::isIPv4Address(host)) {
        VOSK::setFieldText(record.ipv4Address, host);
        return;
    }
    QHostAddress address(host);
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return;
    address.setScopeId(QString());
    VOSK::setFieldText(record.ipv6Address, address.toString());
}

// Positive evidence of factory state in a device without the scope: it
// answers without credentials what a device with users must refuse, its
// user list (empty) and its network interfaces. An empty anonymous user
// list alone proves nothing: some devices hide their users from anonymous
// callers. `done` gets the evidence, and without it the first refusal or
// failure (None when the device answered both and listed users).
void askFactoryEvidence(Onvif::DeviceClient *client, std::function<void(bool, const Onvif::Error &)> done)
{
    client->getUsers([client, done](const Onvif::Result<QList<Onvif::User>> &users) {
        if (!users.ok() || !users.value.isEmpty()) {
            done(false, users.error);
            return;
        }
        client->getNetworkInterfaces([done](const Onvif::Result<QList<Onvif::NetworkInterface>> &interfaces) {
            done(interfaces.ok(), interfaces.error);
        });
    });
}

// What one discovery entry (endpoint reference, origin) is known by.
QString claimKey(const QString &endpoint, const QString &origin)
{
    return endpoint + QChar(0) + origin;
}

// A host as compared here: an address without its zone, written one way;
// a name in lower case.
QString hostKey(const QString &host)
{
    QHostAddress address(host);
    if (address.isNull())
        return host.toLower();
    address.setScopeId(QString());
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ipv4).toString() : address.toString();
}

QString hostKey(const QUrl &url)
{
    return url.isValid() ? hostKey(url.host()) : QString();
}

void setFlag(VOSK_DEVICE_INFO &record, quint8 flag, bool on)
{
    const quint8 flags = VOSK::onvifFlags(record);
    VOSK::setOnvifFlags(record, on ? quint8(flags | flag) : quint8(flags & ~flag));
}

} // namespace

struct OnvifDevices::Device
{
    // Guarded by the mutex (target() reads them on other threads).
    QString endpoint;
    QString id;
    QUrl service;
    int httpsPort = 0; // 0: not known to offer HTTPS
    bool factory = false; // factoryScope || factoryEvidence
    // Its own credentials were refused at its last sign-in: the next ones
    // for all devices take their place.
    bool ownRefused = false;
    // Owner thread only.
    VOSK_DEVICE_INFO record;
    bool factoryScope = false;    // it announces the FactoryDefault scope
    bool factoryEvidence = false; // it answered without credentials what a device with users refuses
    bool checked = false;    // asked for that evidence once
    bool queuedSignIn = false;
    bool queuedCheck = false;
    bool busy = false;       // a job runs
    QString runningHost;     // the host it runs against, for the per-host count
    bool again = false;      // read once more when the running job ends
    bool signedInOnce = false;
    bool gone = false;
    // The discovery entries' origins it stands for; gone with the last.
    QStringList origins;
    bool elsewhere = false; // OnvifElsewhere
    bool otherHost = false; // OnvifOtherHost
    bool picked = false;    // the user chose it as its endpoint reference's device
    // The client of a running check: a sign-in asked for meanwhile stops
    // it rather than wait for a silent device's time-out twice.
    QPointer<Onvif::DeviceClient> checkClient;
    // signIn() requests waiting for a sign-in that has not started yet,
    // and those the running one answers.
    int waiters = 0;
    int runningWaiters = 0;
};

OnvifDevices::OnvifDevices(QObject *parent)
    : OnvifDevices(defaultOptions(), parent)
{
}

OnvifDevices::OnvifDevices(const Onvif::DiscoveryOptions &options, QObject *parent)
    : QObject(parent)
    , m_discovery(std::make_unique<Onvif::DiscoveryClient>(options))
    , m_network(Onvif::DeviceClient::makeNetworkManager(this))
    , m_certificates(std::make_shared<OnvifCertificates>(OnvifCertificates::defaultFile()))
{
    g_instance = this;
    connect(m_discovery.get(), &Onvif::DiscoveryClient::deviceFound, this, &OnvifDevices::onFound);
    connect(m_discovery.get(), &Onvif::DiscoveryClient::deviceChanged, this, &OnvifDevices::onChanged);
    connect(m_discovery.get(), &Onvif::DiscoveryClient::deviceLost, this, &OnvifDevices::onLost);
    connect(m_discovery.get(), &Onvif::DiscoveryClient::directedProgress, this,
            &OnvifDevices::directedProbeProgress);
    connect(m_discovery.get(), &Onvif::DiscoveryClient::directedFinished, this,
            &OnvifDevices::directedProbeFinished);
}

OnvifDevices::~OnvifDevices()
{
    // The clients of running jobs go first, without calling back: the
    // network manager they share is a child too, and must outlive them.
    qDeleteAll(findChildren<Onvif::DeviceClient *>(QString(), Qt::FindDirectChildrenOnly));
    m_discovery.reset();
}

OnvifDevices *OnvifDevices::instance()
{
    return g_instance.data();
}

bool OnvifDevices::start()
{
    if (m_discovery->isRunning())
        return true;
    if (!m_discovery->start())
        return false;
    m_discovery->probe();
    return true;
}

void OnvifDevices::stop()
{
    m_discovery->stop();
}

void OnvifDevices::probe()
{
    if (m_discovery->isRunning())
        m_discovery->probe();
}

bool OnvifDevices::probeAddresses(const QList<QHostAddress> &addresses)
{
    return m_discovery->probeAddresses(addresses);
}

void OnvifDevices::setCredentials(const OnvifCredentials &credentials)
{
    QMutexLocker locker(&m_mutex);
    m_common = credentials;
    // A user who signs in "for every device" means every device: own
    // credentials the device refused would otherwise shadow the right
    // common ones for good. Own credentials that worked stay.
    for (const std::shared_ptr<Device> &d : std::as_const(m_devices)) {
        if (d->ownRefused) {
            m_own.remove(d->id);
            d->ownRefused = false;
        }
    }
}

void OnvifDevices::setCredentials(const DeviceKey &device, const OnvifCredentials &credentials)
{
    if (!device.isOnvif())
        return;
    QMutexLocker locker(&m_mutex);
    if (credentials.isEmpty())
        m_own.remove(device.endpointId);
    else
        m_own.insert(device.endpointId, credentials);
    if (const std::shared_ptr<Device> d = m_devices.value(device.endpointId))
        d->ownRefused = false;
}

OnvifCredentials OnvifDevices::credentialsLocked(const QString &id) const
{
    const auto own = m_own.constFind(id);
    return own != m_own.cend() ? *own : m_common;
}

void OnvifDevices::setSignInsInFlight(int count)
{
    m_maxInFlight = qBound(1, count, kMaxInFlight);
}

void OnvifDevices::setCallTimeout(int milliseconds)
{
    m_timeoutMs = qMax(1, milliseconds);
}

bool OnvifDevices::target(const DeviceKey &device, OnvifTarget *target) const
{
    if (!device.isOnvif())
        return false;
    QMutexLocker locker(&m_mutex);
    const std::shared_ptr<Device> d = m_devices.value(device.endpointId);
    if (!d)
        return false;
    if (target) {
        target->endpointReference = d->endpoint;
        target->serviceAddress = d->service;
        target->credentials = credentialsLocked(d->id);
        target->factoryState = d->factory;
        target->secureAddress = Onvif::secureAddress(d->service, d->httpsPort);
    }
    return true;
}

Onvif::DeviceClient::CertificateCheck OnvifDevices::certificateCheck(const QString &endpoint)
{
    // The store is shared: a session may end after this object. The note
    // needs the object, which outlives the operations as target() does.
    std::shared_ptr<OnvifCertificates> store = m_certificates;
    const QString id = VOSK::onvifEndpointId(endpoint);
    return [this, store, endpoint, id](const QByteArray &sha256) {
        if (store->check(endpoint, sha256) != OnvifCertificates::Verdict::Changed)
            return true;
        QMutexLocker locker(&m_mutex);
        postNoteLocked({Note::CertificateRefused, id, QString()});
        return false;
    };
}

Onvif::DeviceClient *OnvifDevices::makeClient(const std::shared_ptr<Device> &device, const QUrl &address)
{
    auto *client = new Onvif::DeviceClient(address, m_network, this);
    client->setTimeout(m_timeoutMs);
    client->setCertificateCheck(certificateCheck(device->endpoint));
    return client;
}

int OnvifDevices::announcedHttpsPort(const Onvif::DiscoveredDevice &found, const QUrl &service)
{
    // Only on the host the other calls go to: an XAddr naming another
    // host is not where the device answered.
    for (const QString &x : found.xaddrs) {
        const QUrl url(x, QUrl::StrictMode);
        if (url.isValid() && url.scheme() == QLatin1String("https") && url.host() == service.host())
            return url.port(443);
    }
    return 0;
}

void OnvifDevices::noteMoved(const DeviceKey &device, const QUrl &serviceAddress,
                             const OnvifCredentials &credentials)
{
    QMutexLocker locker(&m_mutex);
    const std::shared_ptr<Device> d = m_devices.value(device.endpointId);
    if (!d || !serviceAddress.isValid())
        return;
    d->service = serviceAddress;
    // The tool moved it there: that is where the device is now.
    m_bound.insert(d->endpoint, hostKey(serviceAddress));
    const OnvifCredentials now = credentialsLocked(d->id);
    if (!credentials.isEmpty()
        && (now.username != credentials.username || now.password != credentials.password))
        m_own.insert(d->id, credentials);
    postNoteLocked({Note::Moved, d->id, serviceAddress.host()});
}

void OnvifDevices::noteActivated(const DeviceKey &device, const OnvifCredentials &credentials)
{
    QMutexLocker locker(&m_mutex);
    const std::shared_ptr<Device> d = m_devices.value(device.endpointId);
    if (!d)
        return;
    d->factory = false;
    if (!credentials.isEmpty())
        m_own.insert(d->id, credentials);
    postNoteLocked({Note::Activated, d->id, QString()});
}

void OnvifDevices::noteMakersActivation(const DeviceKey &device)
{
    QMutexLocker locker(&m_mutex);
    postNoteLocked({Note::MakersActivation, device.endpointId, QString()});
}

// The notes travel in our own locked list, not as a posted lambda's
// captures: the texts are then handed from the operation thread to this
// one under a lock this program (and ThreadSanitizer) can see.
void OnvifDevices::postNoteLocked(Note note)
{
    m_notes.push_back(std::move(note));
    if (m_notesPosted)
        return;
    m_notesPosted = true;
    QMetaObject::invokeMethod(this, &OnvifDevices::takeNotes, Qt::QueuedConnection);
}

void OnvifDevices::takeNotes()
{
    std::vector<Note> notes;
    {
        QMutexLocker locker(&m_mutex);
        notes.swap(m_notes);
        m_notesPosted = false;
    }
    bool refused = false;
    for (const Note &note : notes) {
        if (note.kind == Note::CertificateRefused) {
            refused = true;
            continue;
        }
        const std::shared_ptr<Device> d = m_devices.value(note.id);
        if (!d)
            continue;
        quint8 flags = VOSK::onvifFlags(d->record);
        switch (note.kind) {
        case Note::Moved:
            setHostCells(d->record, note.host);
            absorb(d, hostKey(note.host));
            d->elsewhere = false;
            flags = quint8(flags & ~VOSK::OnvifElsewhere);
            break;
        case Note::Activated:
            // It left factory state by our hand: neither its last
            // announcement nor the old evidence holds any more.
            d->factoryScope = false;
            d->factoryEvidence = false;
            d->record.notActivated = 0;
            flags = quint8(flags & ~(VOSK::OnvifMakersActivation | VOSK::OnvifSignInRefused));
            break;
        case Note::MakersActivation:
            flags |= VOSK::OnvifMakersActivation;
            break;
        case Note::CertificateRefused:
            break;
        }
        VOSK::setOnvifFlags(d->record, flags);
        report(d, VOSK_EVENT_UPDATED);
        if (note.kind == Note::Moved)
            markElsewhere(d->endpoint);
        if (note.kind != Note::MakersActivation)
            enqueue(note.id, Job::SignIn);
    }
    if (refused)
        Q_EMIT certificateRefused();
}

void OnvifDevices::absorb(const std::shared_ptr<Device> &device, const QString &host)
{
    const QStringList ids = m_byEndpoint.value(device->endpoint);
    for (const QString &id : ids) {
        const std::shared_ptr<Device> other = m_devices.value(id);
        if (!other || other == device || other->picked)
            continue;
        QUrl service;
        {
            QMutexLocker locker(&m_mutex);
            service = other->service;
        }
        if (hostKey(service) != host)
            continue;
        // The device's own announcement from where the tool sent it, heard
        // before the tool said so: one device, one row.
        for (const QString &origin : std::as_const(other->origins)) {
            m_claims.insert(claimKey(other->endpoint, origin), device->id);
            if (!device->origins.contains(origin))
                device->origins.append(origin);
        }
        other->origins.clear();
        {
            QMutexLocker locker(&m_mutex);
            m_devices.remove(id);
        }
        m_byEndpoint[device->endpoint].removeOne(id);
        other->gone = true;
        report(other, VOSK_EVENT_OFFLINE);
    }
}

void OnvifDevices::markElsewhere(const QString &endpoint)
{
    QString bound;
    {
        QMutexLocker locker(&m_mutex);
        bound = m_bound.value(endpoint);
    }
    for (const QString &id : m_byEndpoint.value(endpoint)) {
        const std::shared_ptr<Device> d = m_devices.value(id);
        if (!d)
            continue;
        QUrl service;
        {
            QMutexLocker locker(&m_mutex);
            service = d->service;
        }
        const bool elsewhere = !d->picked && !bound.isEmpty() && hostKey(service) != bound;
        if (elsewhere == d->elsewhere)
            continue;
        d->elsewhere = elsewhere;
        setFlag(d->record, VOSK::OnvifElsewhere, elsewhere);
        report(d, VOSK_EVENT_UPDATED);
    }
}

bool OnvifDevices::trusted(const std::shared_ptr<Device> &device) const
{
    if (device->picked)
        return true;
    if (device->elsewhere || device->otherHost || m_byEndpoint.value(device->endpoint).size() > 1)
        return false;
    // Twins by serial number or MAC, of either kind, as the store sees them.
    return DeviceStore::instance()->sharingIdentity(DeviceKey(QString(), QString(), device->id)).isEmpty();
}

bool OnvifDevices::mayBeSignedIn(const DeviceKey &device) const
{
    const std::shared_ptr<Device> d = m_devices.value(device.endpointId);
    return d && trusted(d);
}

void OnvifDevices::pick(const QVector<DeviceKey> &devices)
{
    QSet<QString> endpoints;
    for (const DeviceKey &key : devices) {
        const std::shared_ptr<Device> d = m_devices.value(key.endpointId);
        if (!d)
            continue;
        d->picked = true;
        {
            QMutexLocker locker(&m_mutex);
            m_bound.insert(d->endpoint, hostKey(d->service));
        }
        const bool wasOtherHost = d->otherHost;
        d->elsewhere = d->otherHost = false;
        setFlag(d->record, VOSK::OnvifElsewhere | VOSK::OnvifOtherHost, false);
        // The user took the host its service names: the row shows it now.
        if (wasOtherHost) {
            VOSK::setFieldText(d->record.ipv4Address, QString());
            VOSK::setFieldText(d->record.ipv6Address, QString());
            setHostCells(d->record, d->service.host());
        }
        report(d, VOSK_EVENT_UPDATED);
        endpoints.insert(d->endpoint);
        // Never asked before: the factory check it was spared.
        if (wasOtherHost && !d->factory)
            enqueue(d->id, Job::Check);
    }
    for (const QString &endpoint : std::as_const(endpoints))
        markElsewhere(endpoint);
}

void OnvifDevices::signIn(const QVector<DeviceKey> &devices, bool picked)
{
    if (picked)
        pick(devices);
    QStringList ids;
    if (devices.isEmpty()) {
        ids = m_devices.keys();
    } else {
        for (const DeviceKey &key : devices) {
            if (key.isOnvif() && m_devices.contains(key.endpointId))
                ids << key.endpointId;
            else
                Q_EMIT signInFinished(key, {OperationStatus::NotFound, 0});
        }
    }
    for (const QString &id : std::as_const(ids)) {
        const std::shared_ptr<Device> d = m_devices.value(id);
        if (!trusted(d)) {
            // Its identity is in question: no credentials until the user
            // picks it.
            Q_EMIT signInFinished(DeviceKey(QString(), QString(), id), {OperationStatus::Cancelled, 0});
            continue;
        }
        ++d->waiters;
        ++m_signInsOutstanding;
        enqueue(id, Job::SignIn);
    }
    if (m_signInsOutstanding == 0) {
        // Nothing to read: done at once, but after the caller's return, as
        // every other sign-in ends.
        QMetaObject::invokeMethod(this, [this] {
            if (m_signInsOutstanding == 0)
                Q_EMIT signInDone();
        }, Qt::QueuedConnection);
    }
}

// --- discovery ---------------------------------------------------------

void OnvifDevices::onFound(const Onvif::DiscoveredDevice &found)
{
    const QString claim = claimKey(found.endpoint, found.origin);
    if (m_claims.contains(claim)) {
        onChanged(found);
        return;
    }
    const QUrl service = found.serviceAddress();
    const QString host = hostKey(service);
    // The device answering from where the tool moved it: the same row.
    for (const QString &id : m_byEndpoint.value(found.endpoint)) {
        const std::shared_ptr<Device> d = m_devices.value(id);
        QUrl now;
        {
            QMutexLocker locker(&m_mutex);
            now = d->service;
        }
        if (!host.isEmpty() && hostKey(now) == host && Onvif::DiscoveredDevice::fromHost(found.origin, host)) {
            m_claims.insert(claim, id);
            d->origins.append(found.origin);
            onChanged(found);
            return;
        }
    }
    // Another host announcing a listed endpoint reference gets a row of its
    // own, keyed by the reference and that host.
    const bool first = !m_devices.contains(VOSK::onvifEndpointId(found.endpoint));
    auto d = std::make_shared<Device>();
    d->record = first ? VOSK::makeOnvifRecord(found.endpoint) : VOSK::makeOnvifRecord(found.endpoint, found.origin);
    d->endpoint = found.endpoint;
    d->id = VOSK::onvifEndpointId(d->record);
    if (m_devices.contains(d->id))
        return; // that host's row already stands for another entry
    d->service = service;
    d->httpsPort = announcedHttpsPort(found, d->service);
    d->origins = {found.origin};
    d->factoryScope = Onvif::isFactoryDefault(found.scopes);
    d->factory = d->factoryScope;
    // Before anyone signs in a row shows what discovery said, and nothing
    // else: the address and HTTP port of the service, and the hardware the
    // scopes name in the Device Type cell (the record's device type text).
    // A service on another host (or a host name, which fills no cell): the
    // row shows the address that answered, by which the user can pick it,
    // until a sign-in the user confirmed shows what the device reports.
    d->otherHost = found.namesOtherHost();
    setHostCells(d->record, d->otherHost ? found.origin : d->service.host());
    if (d->service.isValid())
        d->record.httpPort = quint16(d->service.port(80));
    const QStringList hardware = Onvif::scopeValues(found.scopes, u"hardware");
    if (!hardware.isEmpty())
        VOSK::setFieldText(d->record.deviceDescription, hardware.constFirst());
    d->record.notActivated = d->factory ? 1 : 0;
    {
        QMutexLocker locker(&m_mutex);
        const QString bound = m_bound.value(found.endpoint);
        d->elsewhere = !bound.isEmpty() && bound != host;
        m_devices.insert(d->id, d);
    }
    setFlag(d->record, VOSK::OnvifElsewhere, d->elsewhere);
    setFlag(d->record, VOSK::OnvifOtherHost, d->otherHost);
    m_claims.insert(claim, d->id);
    m_byEndpoint[d->endpoint].append(d->id);
    if (d->otherHost)
        qCInfo(lcOperations) << "ONVIF device answered from" << found.origin << "naming another host as its service";
    report(d, VOSK_EVENT_ONLINE);
    // Another host is not asked anything, not even anonymously, before the
    // user confirms it. A device in factory state by its scope is asked its
    // protocols (for HTTPS).
    if (!d->otherHost)
        enqueue(d->id, Job::Check);
}

void OnvifDevices::onChanged(const Onvif::DiscoveredDevice &found)
{
    const std::shared_ptr<Device> d = m_devices.value(m_claims.value(claimKey(found.endpoint, found.origin)));
    if (!d)
        return;
    const QUrl service = found.serviceAddress();
    const bool factoryScope = Onvif::isFactoryDefault(found.scopes);
    bool moved = false;
    bool changed = false;
    {
        // Under the lock: an operation thread may be writing the address
        // it moved the device to (noteMoved) at this moment. Only the port
        // follows an announcement; another host is a device of its own
        // (onFound) and never moves the row.
        QMutexLocker locker(&m_mutex);
        moved = service.isValid() && service != d->service && hostKey(service) == hostKey(d->service);
        if (moved)
            d->service = service;
        if (const int port = announcedHttpsPort(found, d->service))
            d->httpsPort = port;
        if (factoryScope != d->factoryScope) {
            // A device that drops the scope has left factory state, and
            // with it the evidence of its anonymous answers.
            d->factory = factoryScope;
            if (!factoryScope)
                d->factoryEvidence = false;
            changed = true;
        }
    }
    d->factoryScope = factoryScope;
    if (changed) {
        d->record.notActivated = factoryScope ? 1 : 0;
        // Out of factory state by the device's own word: the maker's tool
        // or another client made its first user.
        if (!factoryScope)
            VOSK::setOnvifFlags(d->record, quint8(VOSK::onvifFlags(d->record) & ~VOSK::OnvifMakersActivation));
    }
    if (moved) {
        d->record.httpPort = quint16(service.port(80));
        changed = true;
    }
    if (changed)
        report(d, VOSK_EVENT_UPDATED);
}

void OnvifDevices::onLost(const QString &endpoint, const QString &origin)
{
    const QString id = m_claims.take(claimKey(endpoint, origin));
    std::shared_ptr<Device> d = m_devices.value(id);
    if (!d)
        return;
    d->origins.removeOne(origin);
    if (!d->origins.isEmpty())
        return; // still heard from another of its addresses
    {
        QMutexLocker locker(&m_mutex);
        m_devices.remove(id);
    }
    m_byEndpoint[endpoint].removeOne(id);
    if (m_byEndpoint[endpoint].isEmpty())
        m_byEndpoint.remove(endpoint);
    d->gone = true;
    report(d, VOSK_EVENT_OFFLINE);
    const int waiting = d->waiters + d->runningWaiters;
    d->waiters = d->runningWaiters = 0;
    if (waiting > 0) {
        Q_EMIT signInFinished(DeviceKey(QString(), QString(), id), {OperationStatus::NotFound, 0});
        m_signInsOutstanding -= waiting;
        if (m_signInsOutstanding == 0)
            Q_EMIT signInDone();
    }
}

void OnvifDevices::report(const std::shared_ptr<Device> &device, int event)
{
    // An answer that comes after the device left brings no row back.
    if (device->gone && event != VOSK_EVENT_OFFLINE)
        return;
    device->record.event = event;
    switch (event) {
    case VOSK_EVENT_ONLINE:
        Q_EMIT signalDeviceOnline(device->record);
        break;
    case VOSK_EVENT_OFFLINE:
        Q_EMIT signalDeviceOffline(device->record);
        break;
    default:
        Q_EMIT signalDeviceUpdate(device->record);
        break;
    }
}

// --- the jobs ----------------------------------------------------------

void OnvifDevices::enqueue(const QString &id, Job job)
{
    const std::shared_ptr<Device> d = m_devices.value(id);
    if (!d)
        return;
    if (job == Job::SignIn) {
        if (d->busy && !d->queuedSignIn) {
            // Read again once the running job ends: what it reads may be
            // older than what made this one.
            d->again = true;
            d->queuedSignIn = true;
            if (d->checkClient) {
                QPointer<Onvif::DeviceClient> check = d->checkClient;
                QMetaObject::invokeMethod(this, [check] {
                    if (check)
                        check->cancelAll();
                }, Qt::QueuedConnection);
            }
            return;
        }
        if (d->queuedSignIn)
            return;
        d->queuedSignIn = true;
        // Sign-ins go before the checks of discovery: the user waits for them.
        int at = 0;
        while (at < m_queue.size() && m_queue.at(at).second == Job::SignIn)
            ++at;
        m_queue.insert(at, {id, job});
    } else {
        if (d->checked || d->queuedCheck || d->queuedSignIn)
            return;
        d->queuedCheck = true;
        m_queue.append({id, job});
    }
    pump();
}

void OnvifDevices::pump()
{
    for (qsizetype at = 0; m_running < m_maxInFlight && at < m_queue.size();) {
        const auto [id, job] = m_queue.at(at);
        const std::shared_ptr<Device> d = m_devices.value(id);
        if (!d) {
            m_queue.removeAt(at);
            continue; // gone: its waiters were answered then
        }
        if (!d->busy) {
            QMutexLocker locker(&m_mutex);
            d->runningHost = d->service.host();
            if (m_runningPerHost.value(d->runningHost) >= kMaxInFlightPerHost) {
                ++at;  // its host is busy: the next job, in order, meanwhile
                continue;
            }
        }
        m_queue.removeAt(at);
        if (d->busy) {
            // Another job of the device is running; this one follows it.
            if (job == Job::SignIn)
                d->again = true;
            else
                d->queuedCheck = false;
            continue;
        }
        d->busy = true;
        ++m_running;
        ++m_runningPerHost[d->runningHost];
        if (job == Job::SignIn) {
            d->queuedSignIn = false;
            d->runningWaiters = d->waiters;
            d->waiters = 0;
            runSignIn(d);
        } else {
            d->queuedCheck = false;
            runCheck(d);
        }
    }
}

void OnvifDevices::jobDone(const std::shared_ptr<Device> &device, Job job)
{
    device->busy = false;
    --m_running;
    if (--m_runningPerHost[device->runningHost] <= 0)
        m_runningPerHost.remove(device->runningHost);
    if (job == Job::SignIn && !device->gone) {
        const int answered = device->runningWaiters;
        device->runningWaiters = 0;
        if (answered > 0) {
            m_signInsOutstanding -= answered;
            if (m_signInsOutstanding == 0)
                Q_EMIT signInDone();
        }
    }
    if ((device->again || device->waiters > 0) && !device->gone) {
        device->again = false;
        device->queuedSignIn = false;
        enqueue(device->id, Job::SignIn);
    }
    pump();
}

// Factory state without the scope, from the device's anonymous answers
// (askFactoryEvidence()); asked once, when the device is first heard.
// A device in factory state answers anything, its protocols too: whether
// it offers HTTPS for the first password is known before activation is
// asked for.
void OnvifDevices::runCheck(const std::shared_ptr<Device> &device)
{
    device->checked = true;
    QUrl service;
    {
        QMutexLocker locker(&m_mutex);
        service = device->service;
    }
    auto *client = makeClient(device, service);
    device->checkClient = client;
    auto protocols = [this, device, client] {
        client->getNetworkProtocols([this, device, client](const Onvif::Result<QList<Onvif::NetworkProtocol>> &r) {
            client->deleteLater();
            device->checkClient.clear();
            if (r.ok()) {
                if (const int port = Onvif::httpsPort(r.value)) {
                    QMutexLocker locker(&m_mutex);
                    device->httpsPort = port;
                }
            }
            jobDone(device, Job::Check);
        });
    };
    if (device->factoryScope) {
        protocols();
        return;
    }
    askFactoryEvidence(client, [this, device, client, protocols](bool evidence, const Onvif::Error &) {
        if (!device->gone && evidence && !device->record.notActivated) {
            setFactoryEvidence(device, true);
            report(device, VOSK_EVENT_UPDATED);
        }
        if (evidence) {
            protocols();
            return;
        }
        client->deleteLater();
        device->checkClient.clear();
        jobDone(device, Job::Check);
    });
}

void OnvifDevices::setFactoryEvidence(const std::shared_ptr<Device> &device, bool evidence)
{
    device->factoryEvidence = evidence;
    const bool factory = device->factoryScope || evidence;
    {
        QMutexLocker locker(&m_mutex);
        device->factory = factory;
    }
    device->record.notActivated = factory ? 1 : 0;
}

namespace {

// What one sign-in collects from its four calls.
struct SignInReads
{
    int pending = 3; // the reads after the device information
    Onvif::Result<Onvif::DeviceInformation> info;
    Onvif::Result<QList<Onvif::NetworkInterface>> interfaces;
    Onvif::Result<Onvif::NetworkGateway> gateway;
    Onvif::Result<QList<Onvif::NetworkProtocol>> protocols;
};

// The record's cells from what the device said; what it left out stays as
// it was (an empty cell, or what discovery gave).
void fill(VOSK_DEVICE_INFO &record, const SignInReads &reads, const QString &host)
{
    const Onvif::DeviceInformation &info = reads.info.value;
    VOSK::setFieldText(record.serialNumber, info.serialNumber);
    VOSK::setFieldText(record.softwareVersion, info.firmwareVersion);
    if (!info.model.isEmpty())
        VOSK::setFieldText(record.deviceDescription, info.model);
    quint8 flags = quint8((VOSK::onvifFlags(record) | VOSK::OnvifSignedIn) & ~VOSK::OnvifSignInRefused);
    quint8 capabilities = 0;
    if (reads.interfaces.ok()) {
        if (const Onvif::NetworkInterface *nic = onvifMainInterface(reads.interfaces.value, host)) {
            VOSK::setFieldText(record.mac, nic->hwAddress);
            if (nic->ipv4) {
                // Every ONVIF IPv4 configuration carries the DHCP switch.
                capabilities |= VOSK_CAP_DHCP;
                record.dhcpEnabled = nic->ipv4->dhcp ? 1 : 0;
                if (const Onvif::PrefixedAddress *a = onvifIpv4Address(*nic)) {
                    VOSK::setFieldText(record.ipv4Address, a->address);
                    VOSK::setFieldText(record.ipv4Mask, dottedMask(a->prefixLength));
                }
            }
            record.addressInfoValid = 1;
            if (nic->ipv6 && nic->ipv6->enabled) {
                // SetNetworkInterfaces takes IPv6 wherever it is reported
                // on. A device that reports it off has no IPv6 to show or
                // change (turning it on is not offered).
                capabilities |= VOSK_CAP_IPV6 | VOSK_CAP_IPV6_MODIFIABLE;
                flags |= VOSK::OnvifIpv6Reported;
                const Onvif::PrefixedAddress *a = onvifIpv6Address(*nic);
                VOSK::setFieldText(record.ipv6Address, a ? a->address : QString());
                record.ipv6PrefixLength = a ? quint8(qBound(0, a->prefixLength, 128)) : 0;
            } else {
                flags = quint8(flags & ~VOSK::OnvifIpv6Reported);
                if (!nic->ipv6 || Onvif::DeviceRequests::isIPv4Address(host)) {
                    VOSK::setFieldText(record.ipv6Address, QString());
                    record.ipv6PrefixLength = 0;
                }
            }
        }
    }
    record.capabilities = capabilities;
    if (reads.gateway.ok()) {
        const Onvif::NetworkGateway &g = reads.gateway.value;
        VOSK::setFieldText(record.ipv4Gateway, g.ipv4.isEmpty() ? QString() : g.ipv4.constFirst());
        VOSK::setFieldText(record.ipv6Gateway, g.ipv6.isEmpty() ? QString() : g.ipv6.constFirst());
    }
    if (reads.protocols.ok()) {
        if (const int port = Onvif::httpPort(reads.protocols.value))
            record.httpPort = quint16(port);
    }
    record.notActivated = 0;
    VOSK::setOnvifFlags(record, flags);
}

} // namespace

void OnvifDevices::runSignIn(const std::shared_ptr<Device> &device)
{
    QUrl service;
    QUrl address; // HTTPS when offered: where the credentials go
    OnvifCredentials credentials;
    {
        QMutexLocker locker(&m_mutex);
        service = device->service;
        address = Onvif::secureAddress(service, device->httpsPort);
        if (!address.isValid())
            address = service;
        credentials = credentialsLocked(device->id);
    }
    // The row says it is being read until finishSignIn() takes the mark
    // away, in the same report as what the reads brought.
    VOSK::setOnvifFlags(device->record, quint8(VOSK::onvifFlags(device->record) | VOSK::OnvifSigningIn));
    report(device, VOSK_EVENT_UPDATED);
    auto *client = makeClient(device, address);
    if (device->factoryScope) {
        // The device says it has no user: nobody's credentials go to it,
        // whatever it would take. It stays not activated until it
        // announces otherwise or is activated.
        client->deleteLater();
        QMetaObject::invokeMethod(this, [this, device] {
            finishSignIn(device, {OperationStatus::NotActivated, 0});
        }, Qt::QueuedConnection);
        return;
    }
    if (device->factoryEvidence || credentials.isEmpty()) {
        // Factory state is asked of the device again, without credentials:
        // kept while the device still gives the evidence. A device that
        // does not is signed in (with credentials) or refused (without).
        askFactoryEvidence(client, [this, device, client, credentials](bool evidence, const Onvif::Error &error) {
            setFactoryEvidence(device, evidence);
            if (evidence || credentials.isEmpty()) {
                client->deleteLater();
                OperationOutcome outcome{OperationStatus::NotActivated, 0};
                if (!evidence) {
                    outcome = onvifOutcome(error);
                    if (outcome.ok() || outcome.status == OperationStatus::Denied)
                        outcome = {OperationStatus::Denied, kOnvifCodeBase + int(Onvif::ErrorKind::NotAuthorized)};
                }
                finishSignIn(device, outcome);
                return;
            }
            readSignedIn(device, client, credentials);
        });
        return;
    }
    readSignedIn(device, client, credentials);
}

void OnvifDevices::readSignedIn(const std::shared_ptr<Device> &device, Onvif::DeviceClient *client,
                                const OnvifCredentials &credentials)
{
    client->setCredentials(credentials.username, QString::fromUtf8(credentials.password));
    auto reads = std::make_shared<SignInReads>();
    const QString host = client->serviceAddress().host();
    // Refused: the credentials are wrong (a device with no user at all
    // says so by its scope or its anonymous answers, asked before).
    auto refused = [this, device, client, credentials](const OperationOutcome &failure) {
        client->deleteLater();
        {
            QMutexLocker locker(&m_mutex);
            // Only the device's own credentials, and only those this
            // sign-in used (the user may have given others meanwhile).
            const auto own = m_own.constFind(device->id);
            device->ownRefused = own != m_own.cend() && own->username == credentials.username
                && own->password == credentials.password;
        }
        VOSK::setOnvifFlags(device->record, quint8(VOSK::onvifFlags(device->record) | VOSK::OnvifSignInRefused));
        finishSignIn(device, failure);
    };
    auto collected = [this, device, client, reads, host] {
        if (--reads->pending > 0)
            return;
        client->deleteLater();
        fill(device->record, *reads, host);
        device->signedInOnce = true;
        {
            QMutexLocker locker(&m_mutex);
            device->factory = false;
            device->ownRefused = false;
            // Offered over HTTPS: the next calls that carry a password use it.
            if (reads->protocols.ok()) {
                if (const int port = Onvif::httpsPort(reads->protocols.value))
                    device->httpsPort = port;
            }
            // Signed in here: the endpoint reference's device is this host's.
            m_bound.insert(device->endpoint, hostKey(device->service));
        }
        finishSignIn(device, OperationOutcome::done());
        markElsewhere(device->endpoint);
    };
    // The device information alone first, the other three reads once it
    // was answered. Wrong credentials then cost the device one refused
    // call, not four (some devices count each toward a lock-out), and a
    // device that takes HTTP digest only challenges one call, not four:
    // the others go out with the challenge's answer. Against a thousand
    // such devices this took the sign-in from 9.9 s to 3.8 to 4.2 s.
    client->getDeviceInformation([this, device, client, reads, host, refused, collected](const Onvif::Result<Onvif::DeviceInformation> &r) {
        reads->info = r;
        if (!r.ok()) {
            const OperationOutcome failure = onvifOutcome(r.error);
            if (failure.status == OperationStatus::Denied) {
                refused(failure);
                return;
            }
            client->deleteLater();
            qCInfo(lcOperations) << "ONVIF sign-in to" << host << "failed:" << Onvif::errorKindName(r.error.kind);
            finishSignIn(device, failure);
            return;
        }
        client->getNetworkInterfaces([reads, collected](const Onvif::Result<QList<Onvif::NetworkInterface>> &r) {
            reads->interfaces = r;
            collected();
        });
        client->getNetworkDefaultGateway([reads, collected](const Onvif::Result<Onvif::NetworkGateway> &r) {
            reads->gateway = r;
            collected();
        });
        client->getNetworkProtocols([reads, collected](const Onvif::Result<QList<Onvif::NetworkProtocol>> &r) {
            reads->protocols = r;
            collected();
        });
    });
}

void OnvifDevices::finishSignIn(const std::shared_ptr<Device> &device, const OperationOutcome &outcome)
{
    // One report for the end, whatever it came to (a time-out changes no
    // cell but the mark), before anyone hears of the outcome: who reads
    // the row then finds it as the sign-in left it.
    VOSK::setOnvifFlags(device->record, quint8(VOSK::onvifFlags(device->record) & ~VOSK::OnvifSigningIn));
    report(device, VOSK_EVENT_UPDATED);
    if (!device->gone)
        Q_EMIT signInFinished(DeviceKey(QString(), QString(), device->id), outcome);
    jobDone(device, Job::SignIn);
}

} // namespace VoskTool
