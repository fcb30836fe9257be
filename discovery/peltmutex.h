#pragma once

// The small runtime layer the tool uses for locking: a recursive mutex with
// a C-style interface (the device store's guard) and a lock/unlock class
// (serialises the creation of process-wide singletons).

#include <memory>

// A recursive mutex handle. Zero-initialise it, then PELT_MutexCreate.
struct PELT_MUTEX {
    void *impl = nullptr;
};

// Creates the mutex in *mutex. spinCount is accepted for compatibility and
// ignored (-1 is the usual value). Returns 0, or -1 for a null argument or
// a mutex that was created already.
int PELT_MutexCreate(PELT_MUTEX *mutex, int spinCount);
// Locks; the same thread may lock again. Returns 0, or -1 if not created.
int PELT_MutexLock(PELT_MUTEX *mutex);
// Unlocks one level. Returns 0, or -1 if not created.
int PELT_MutexUnlock(PELT_MUTEX *mutex);
// Frees what PELT_MutexCreate made. The mutex must not be held. Returns 0,
// or -1 if not created.
int PELT_MutexDestroy(PELT_MUTEX *mutex);

// A lock object for serialising one-time work such as singleton creation.
// Recursive, so a constructor that itself needs another singleton made
// under the same lock cannot deadlock.
class PELT_Mutex final
{
public:
    PELT_Mutex();
    ~PELT_Mutex();
    PELT_Mutex(const PELT_Mutex &) = delete;
    PELT_Mutex &operator=(const PELT_Mutex &) = delete;

    void Lock();
    void Unlock();

private:
    PELT_MUTEX m_mutex;
};
