#pragma once

#include "discovery/devicekey.h"
#include "discovery/peltmutex.h"
#include "discovery/singleton.h"
#include "vosk/vosk.h"

#include <QHash>
#include <QString>
#include <QVector>

// The latest VOSK_DEVICE_INFO of every online device, in order of arrival,
// keyed by DeviceKey (serialNumber, mac) compared as text. One per process.
// Two devices that announce the same MAC with different serial numbers (or
// the same serial number with different MACs) are two elements; both are
// ambiguous (isAmbiguous()) for as long as both are stored, since a MAC or a
// serial number alone does not tell them apart.
// Lookups by key or MAC go through hash indexes; adding is amortised
// constant time, removing linear in the count (the order is kept).
//
// Every operation holds the store's recursive mutex for its whole duration.
// Callers may hold it themselves around a sequence of calls (lock()/unlock()
// or Locker); containsMac() takes no lock of its own and must be called
// under one. Used from the GUI thread.
class DeviceStore final : public Singleton::CSingleton<DeviceStore>
{
public:
    // RAII holder of the store's mutex.
    class Locker final
    {
    public:
        explicit Locker(DeviceStore *store) : m_store(store) { m_store->lock(); }
        ~Locker() { m_store->unlock(); }
        Locker(const Locker &) = delete;
        Locker &operator=(const Locker &) = delete;

    private:
        DeviceStore *m_store;
    };

    // Devices the indexes have room for from the start: the discovery
    // library lists at most this many of ours.
    static constexpr int kReservedDevices = 16384;

    void lock();
    void unlock();

    // Appends a copy; no duplicate test.
    void addDevice(const VOSK_DEVICE_INFO &record);
    // Removes the element with the record's key; nothing if there is none.
    void removeDevice(const VOSK_DEVICE_INFO &record);
    // Overwrites all 500 bytes of the element with the record's key; nothing
    // if there is none.
    void updateDevice(const VOSK_DEVICE_INFO &record);
    // Index of the first element with that key, or -1.
    int indexOf(const DeviceKey &key);
    int indexOf(const QString &serialNumber, const QString &mac);
    // Copies the element out; false if none.
    bool getDevice(const DeviceKey &key, VOSK_DEVICE_INFO &record);
    bool getDevice(const QString &serialNumber, const QString &mac, VOSK_DEVICE_INFO &record);
    QVector<VOSK_DEVICE_INFO> getAllDevices();
    // Fills param from the element's network fields (the port's low 16 bits;
    // IPv6 texts widened from 46 to 128 bytes); other bytes of param are left
    // as they are. False if none.
    bool getNetParam(const DeviceKey &key, VOSK_NET_PARAM &param);
    bool getNetParam(const QString &serialNumber, const QString &mac, VOSK_NET_PARAM &param);
    // The reverse copy: texts cut to the record's widths and kept
    // terminated, the port widened to 32 bits. False if none.
    bool setNetParam(const DeviceKey &key, const VOSK_NET_PARAM &param);
    bool setNetParam(const QString &serialNumber, const QString &mac, const VOSK_NET_PARAM &param);
    // Sets notActivated (0 after a successful activation). False if none.
    bool setActivated(const DeviceKey &key, quint8 value);
    bool setActivated(const QString &serialNumber, const QString &mac, quint8 value);
    // Whether an element has that MAC. Takes no lock: call under lock().
    bool containsMac(const QString &mac) const;
    // Whether another stored device has the key's MAC or its serial number
    // (or, for an ONVIF row, its endpoint reference).
    bool isAmbiguous(const DeviceKey &key);
    // The other stored devices that share the device's MAC or serial
    // number, each once, in no particular order; empty for an unambiguous
    // key (and for one not stored, unless others carry its halves). One
    // rule for both kinds: an ONVIF row's serial number and MAC are those
    // its record shows (known after sign-in; MACs compared by their hex
    // digits across the kinds' spellings), and ONVIF rows that were
    // announced with one endpoint reference share it too.
    QVector<DeviceKey> sharingIdentity(const DeviceKey &key);
    int count();
    void clear();

private:
    friend class Singleton::CSingleton<DeviceStore>;
    DeviceStore();
    ~DeviceStore();

    // Where the elements of one key are: the first of them (what every
    // lookup answers with) and how many there are (addDevice() does not
    // refuse a repeated key).
    struct KeySlot
    {
        int first = -1;
        int count = 0;
    };

    // The distinct keys of ours (endpointId empty) that carry one MAC, or
    // one serial number. Nearly always a single key: `other` is then its
    // other half, shared with the key in m_slots, and nothing more is
    // allocated; `shared` lists every key only while two or more carry the
    // half. (A list per half cost 16,000 allocations for a fleet in which
    // hardly any device shares either half.)
    struct Half
    {
        QString other;
        QVector<DeviceKey> shared;
        int keys = 0;
    };

    void reserveIndexes();
    int indexOfLocked(const DeviceKey &key) const;
    void removeAtLocked(int index);
    // The index of MACs (byMac) or of serial numbers, for a key of ours.
    static void rememberIdentity(QHash<QString, Half> &index, const DeviceKey &key, bool byMac);
    static void forgetIdentity(QHash<QString, Half> &index, const DeviceKey &key, bool byMac);
    void collectSharing(const QHash<QString, Half> &index, const DeviceKey &key, bool byMac,
                        QVector<DeviceKey> &others) const;
    // The ONVIF rows' identity texts: serial number, MAC (hex digits) and
    // endpoint group of the record, re-read at each update.
    void rememberOnvif(const VOSK_DEVICE_INFO &record, const DeviceKey &key);
    void forgetOnvif(const VOSK_DEVICE_INFO &record, const DeviceKey &key);

    PELT_MUTEX *m_mutex;
    // The records in order of arrival; an element's key is read from it
    // when needed (DeviceKey::fromRecord()) rather than kept beside it.
    QVector<VOSK_DEVICE_INFO> m_devices;
    QHash<DeviceKey, KeySlot> m_slots;  // the key of every element
    QHash<QString, int> m_macCounts;    // elements per MAC text
    QHash<QString, Half> m_keysByMac;
    QHash<QString, Half> m_keysBySerial;
    QHash<QString, QVector<DeviceKey>> m_onvifBySerial;
    QHash<QString, QVector<DeviceKey>> m_onvifByMac;
    QHash<QString, QVector<DeviceKey>> m_onvifByGroup;
};
