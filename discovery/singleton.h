#pragma once

#include "discovery/peltmutex.h"

#include <atomic>

namespace Singleton {

// Base that forbids copying and assignment.
class CNoncopyable
{
protected:
    CNoncopyable() = default;
    ~CNoncopyable() = default;

public:
    CNoncopyable(const CNoncopyable &) = delete;
    CNoncopyable &operator=(const CNoncopyable &) = delete;
};

// One instance of T per process, made on first use and deleted at process
// exit. T befriends CSingleton<T> and keeps its constructor private.
template <typename T>
class CSingleton : private CNoncopyable
{
public:
    // Returns the instance, creating it on the first call. Any thread; the
    // creation is serialised, and the pointer is tested before and after the
    // lock so that later calls take no lock at all.
    static T *instance()
    {
        T *object = s_instance.load(std::memory_order_acquire);
        if (!object) {
            s_lock.Lock();
            object = s_instance.load(std::memory_order_relaxed);
            if (!object) {
                object = new T;
                s_owner.armed = true;
                s_instance.store(object, std::memory_order_release);
            }
            s_lock.Unlock();
        }
        return object;
    }

protected:
    CSingleton() = default;
    ~CSingleton() = default;

private:
    // Static owner: deletes the instance when static objects are destroyed.
    struct Owner {
        bool armed = false;
        ~Owner()
        {
            if (armed)
                delete CSingleton<T>::s_instance.exchange(nullptr);
        }
    };

    static inline std::atomic<T *> s_instance{nullptr};
    static inline PELT_Mutex s_lock;
    static inline Owner s_owner;
};

} // namespace Singleton
