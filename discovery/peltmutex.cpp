#include "discovery/peltmutex.h"

#include <mutex>

namespace {
std::recursive_mutex *impl(PELT_MUTEX *mutex)
{
    return mutex ? static_cast<std::recursive_mutex *>(mutex->impl) : nullptr;
}
} // namespace

int PELT_MutexCreate(PELT_MUTEX *mutex, int /*spinCount*/)
{
    if (!mutex || mutex->impl)
        return -1;
    mutex->impl = new std::recursive_mutex;
    return 0;
}

int PELT_MutexLock(PELT_MUTEX *mutex)
{
    auto *m = impl(mutex);
    if (!m)
        return -1;
    m->lock();
    return 0;
}

int PELT_MutexUnlock(PELT_MUTEX *mutex)
{
    auto *m = impl(mutex);
    if (!m)
        return -1;
    m->unlock();
    return 0;
}

int PELT_MutexDestroy(PELT_MUTEX *mutex)
{
    auto *m = impl(mutex);
    if (!m)
        return -1;
    delete m;
    mutex->impl = nullptr;
    return 0;
}

PELT_Mutex::PELT_Mutex()
{
    PELT_MutexCreate(&m_mutex, -1);
}

PELT_Mutex::~PELT_Mutex()
{
    PELT_MutexDestroy(&m_mutex);
}

void PELT_Mutex::Lock()
{
    PELT_MutexLock(&m_mutex);
}

void PELT_Mutex::Unlock()
{
    PELT_MutexUnlock(&m_mutex);
}
