// The few thread tools the engine's workers and the self-extractor's worker need: a thread, a
// mutex with its scoped lock, and a condition to wait on.
//
// On Windows they are built straight on what Windows XP already has (CRITICAL_SECTION,
// semaphores, _beginthreadex), not on the toolchain's posix thread library: that library is
// built for Windows 7 and imports GetTickCount64, so nothing linked with it starts on XP.
// Natively (the portable core's unit tests and fuzzers) they are the standard library's.
#pragma once

#include <climits>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <utility>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace zc {

#ifdef _WIN32

class Mutex {
public:
    Mutex() { InitializeCriticalSection(&cs_); }
    ~Mutex() { DeleteCriticalSection(&cs_); }
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() { EnterCriticalSection(&cs_); }
    void unlock() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

// A condition over a Mutex. Waiters count themselves under a lock of their own before they let
// the caller's mutex go, and a notify releases the semaphore once per counted waiter it wakes,
// so no wake-up falls between the unlock and the wait. Callers recheck their condition in a
// loop (as with any condition variable): a woken waiter may find the work taken by another.
class CondVar {
public:
    CondVar() : sem_(CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr)) {
        InitializeCriticalSection(&count_);
        if (!sem_) throw std::bad_alloc();
    }
    ~CondVar() {
        CloseHandle(sem_);
        DeleteCriticalSection(&count_);
    }
    CondVar(const CondVar&) = delete;
    CondVar& operator=(const CondVar&) = delete;

    template <class Lock, class Pred>
    void wait(Lock& lock, Pred ready) {
        while (!ready()) wait_for(lock, INFINITE);
    }
    // False when the time ran out before a notify reached this waiter.
    template <class Lock>
    bool wait_for(Lock& lock, DWORD ms) {
        EnterCriticalSection(&count_);
        ++waiters_;
        LeaveCriticalSection(&count_);
        lock.unlock();
        bool woken = WaitForSingleObject(sem_, ms) == WAIT_OBJECT_0;
        if (!woken) {
            // A notify may have counted this waiter out just after the time ran out: then its
            // release is still in the semaphore, and taking it keeps the count right.
            EnterCriticalSection(&count_);
            woken = WaitForSingleObject(sem_, 0) == WAIT_OBJECT_0;
            if (!woken) --waiters_;
            LeaveCriticalSection(&count_);
        }
        lock.lock();
        return woken;
    }
    void notify_one() { release(false); }
    void notify_all() { release(true); }

private:
    void release(bool all) {
        EnterCriticalSection(&count_);
        LONG n = all ? waiters_ : (waiters_ > 0 ? 1 : 0);
        if (n > 0) {
            waiters_ -= n;
            ReleaseSemaphore(sem_, n, nullptr);
        }
        LeaveCriticalSection(&count_);
    }
    CRITICAL_SECTION count_;
    LONG waiters_ = 0;
    HANDLE sem_;
};

// A joinable thread that runs a function. Started with _beginthreadex rather than CreateThread,
// so that the C runtime's per-thread data is set up and freed with it.
class Thread {
public:
    Thread() = default;
    template <class F>
    explicit Thread(F&& f) {
        auto* run = new std::function<void()>(std::forward<F>(f));
        handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Thread::Start, run, 0, nullptr));
        if (!handle_) {
            delete run;
            throw std::bad_alloc();
        }
    }
    Thread(Thread&& o) noexcept : handle_(std::exchange(o.handle_, nullptr)) {}
    Thread& operator=(Thread&& o) noexcept {
        if (this != &o) {
            if (handle_) std::terminate();  // as std::thread: a running thread is never dropped
            handle_ = std::exchange(o.handle_, nullptr);
        }
        return *this;
    }
    ~Thread() {
        if (handle_) std::terminate();
    }
    bool joinable() const { return handle_ != nullptr; }
    void join() {
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    static unsigned __stdcall Start(void* p) noexcept {
        std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(p));
        (*run)();
        return 0;
    }
    HANDLE handle_ = nullptr;
};

// The processors this process may run on (a user may have limited it to fewer than there are).
inline unsigned ProcessorCount() {
    DWORD_PTR mine = 0, system = 0;
    unsigned n = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &mine, &system))
        for (; mine; mine &= mine - 1) ++n;
    if (n) return n;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwNumberOfProcessors;
}

#else

using Mutex = std::mutex;
using Thread = std::thread;

class CondVar {
public:
    template <class Lock, class Pred>
    void wait(Lock& lock, Pred ready) {
        cv_.wait(lock, ready);
    }
    template <class Lock>
    bool wait_for(Lock& lock, unsigned ms) {
        return cv_.wait_for(lock, std::chrono::milliseconds(ms)) == std::cv_status::no_timeout;
    }
    void notify_one() { cv_.notify_one(); }
    void notify_all() { cv_.notify_all(); }

private:
    std::condition_variable_any cv_;
};

inline unsigned ProcessorCount() { return std::thread::hardware_concurrency(); }

#endif

// Holds a Mutex for a scope; unlock and lock let a wait give it up for a while.
class Lock {
public:
    explicit Lock(Mutex& m) : m_(m) { m_.lock(); }
    ~Lock() {
        if (held_) m_.unlock();
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock() {
        m_.lock();
        held_ = true;
    }
    void unlock() {
        held_ = false;
        m_.unlock();
    }

private:
    Mutex& m_;
    bool held_ = true;
};

}  // namespace zc
