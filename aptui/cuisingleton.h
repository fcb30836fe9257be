#pragma once

#include <atomic>
#include <mutex>

namespace TarnGUIToolkit {

// Base of the toolkit's process-wide objects: one T per process, made on the
// first GetInstance() call and deleted when static objects are destroyed
// (after main() has returned). T befriends CUiSingleton<T> and keeps its
// default constructor private.
template <typename T>
class CUiSingleton
{
public:
    virtual ~CUiSingleton() = default;
    CUiSingleton(const CUiSingleton &) = delete;
    CUiSingleton &operator=(const CUiSingleton &) = delete;

    // Any thread. Creation is serialised by a mutex of T's own; the pointer
    // is tested before and after locking, so later calls take no lock.
    static T *GetInstance()
    {
        T *object = s_instance.load(std::memory_order_acquire);
        if (!object) {
            const std::lock_guard<std::mutex> lock(s_mutex);
            object = s_instance.load(std::memory_order_relaxed);
            if (!object) {
                object = new T;
                s_owner.armed = true;
                s_instance.store(object, std::memory_order_release);
            }
        }
        return object;
    }

protected:
    CUiSingleton() = default;

private:
    struct Owner {
        bool armed = false;
        ~Owner()
        {
            if (armed)
                delete CUiSingleton<T>::s_instance.exchange(nullptr);
        }
    };

    static inline std::atomic<T *> s_instance{nullptr};
    static inline std::mutex s_mutex;
    static inline Owner s_owner;
};

} // namespace TarnGUIToolkit
