// Threads and waits. Each thread created here runs on a host thread; its handle is signalled when
// it has ended, however it ended (returning from its routine or calling ExitThread).
#include "handles.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace w95 {
namespace {

// One lock and one condition for every thread's state: a wait on several threads at once then
// sleeps on a single condition, as Windows' dispatcher does.
struct Dispatcher {
    std::mutex mutex;
    std::condition_variable changed;
};

Dispatcher& TheDispatcher() {
    static Dispatcher* dispatcher = new Dispatcher;  // never destroyed: threads end after main
    return *dispatcher;
}

DWORD NewThreadId() {
    static std::atomic<DWORD> next{0x100};
    return next.fetch_add(4);  // Windows 95 ids are not small consecutive numbers either
}

thread_local DWORD current_thread_id = 0;

struct ThreadObject : KernelObject {
    ThreadObject(LPTHREAD_START_ROUTINE routine, LPVOID argument, bool suspended)
        : start(routine), parameter(argument), suspend_count(suspended ? 1 : 0) {}

    const DWORD id = NewThreadId();
    const LPTHREAD_START_ROUTINE start;
    const LPVOID parameter;
    // Guarded by the dispatcher's mutex.
    DWORD suspend_count;
    bool finished = false;
    DWORD exit_code = STILL_ACTIVE;
    int priority = THREAD_PRIORITY_NORMAL;
};

// The exit code the running thread ends with; ExitThread sets it before it unwinds the thread.
thread_local DWORD* pending_exit_code = nullptr;

// Marks the thread ended when the host thread leaves its routine by any way, including the
// forced unwinding of pthread_exit (destructors run, so this does as well).
class EndOfThread {
  public:
    explicit EndOfThread(std::shared_ptr<ThreadObject> thread) : thread_(std::move(thread)) {
        pending_exit_code = &code_;
    }
    ~EndOfThread() {
        pending_exit_code = nullptr;
        auto& dispatcher = TheDispatcher();
        {
            std::lock_guard lock(dispatcher.mutex);
            thread_->exit_code = code_;
            thread_->finished = true;
        }
        dispatcher.changed.notify_all();
    }
    void set_code(DWORD code) { code_ = code; }

  private:
    std::shared_ptr<ThreadObject> thread_;
    DWORD code_ = 0;
};

void* RunThread(void* argument) {
    // The running thread keeps its object alive even after its handle has been closed.
    std::shared_ptr<ThreadObject> thread(*static_cast<std::shared_ptr<ThreadObject>*>(argument));
    delete static_cast<std::shared_ptr<ThreadObject>*>(argument);
    current_thread_id = thread->id;
    auto& dispatcher = TheDispatcher();
    {
        std::unique_lock lock(dispatcher.mutex);
        dispatcher.changed.wait(lock, [&] { return thread->suspend_count == 0; });
    }
    EndOfThread end(thread);
    end.set_code(thread->start(thread->parameter));
    return nullptr;
}

bool IsValidPriority(int priority) {
    return (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST) ||
           priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL;
}

}  // namespace
}  // namespace w95

using w95::Fail;
using w95::ThreadObject;

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize,
                                      LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                      DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress)
        return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
    auto thread = std::make_shared<ThreadObject>(lpStartAddress, lpParameter,
                                                 (dwCreationFlags & CREATE_SUSPENDED) != 0);
    HANDLE handle = w95::AddHandle(thread);
    if (!handle)
        return nullptr;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    size_t default_stack = 0;
    pthread_attr_getstacksize(&attributes, &default_stack);
    if (dwStackSize > default_stack)
        pthread_attr_setstacksize(&attributes, dwStackSize);
    auto* argument = new std::shared_ptr<ThreadObject>(thread);
    pthread_t host_thread;
    int error = pthread_create(&host_thread, &attributes, w95::RunThread, argument);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete argument;
        w95::CloseKernelHandle(handle);
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE{nullptr});
    }
    if (lpThreadId)
        *lpThreadId = thread->id;
    return handle;
}

extern "C" DWORD WINAPI ResumeThread(HANDLE hThread) {
    auto thread = w95::LookupHandleAs<ThreadObject>(hThread);
    if (!thread)
        return Fail(ERROR_INVALID_HANDLE, DWORD(-1));
    auto& dispatcher = w95::TheDispatcher();
    DWORD previous;
    {
        std::lock_guard lock(dispatcher.mutex);
        previous = thread->suspend_count;
        if (thread->suspend_count > 0)
            --thread->suspend_count;
    }
    if (previous == 1)
        dispatcher.changed.notify_all();
    return previous;
}

extern "C" BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    auto thread = w95::LookupHandleAs<ThreadObject>(hThread);
    if (!thread)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!w95::IsValidPriority(nPriority))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // Recorded only: the host keeps scheduling every thread alike, so busy threads of a program
    // cannot starve the simulated hardware.
    std::lock_guard lock(w95::TheDispatcher().mutex);
    thread->priority = nPriority;
    return TRUE;
}

extern "C" int WINAPI GetThreadPriority(HANDLE hThread) {
    auto thread = w95::LookupHandleAs<ThreadObject>(hThread);
    if (!thread)
        return Fail(ERROR_INVALID_HANDLE, int{THREAD_PRIORITY_ERROR_RETURN});
    std::lock_guard lock(w95::TheDispatcher().mutex);
    return thread->priority;
}

extern "C" BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = w95::LookupHandleAs<ThreadObject>(hThread);
    if (!thread)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpExitCode)
        return Fail(ERROR_NOACCESS, FALSE);
    std::lock_guard lock(w95::TheDispatcher().mutex);
    *lpExitCode = thread->exit_code;
    return TRUE;
}

extern "C" void WINAPI ExitThread(DWORD dwExitCode) {
    if (w95::pending_exit_code)
        *w95::pending_exit_code = dwExitCode;
    // Unwinds the thread's stack (destructors run), which is what marks the thread ended. A
    // thread not created by CreateThread (the main thread) simply ends.
    pthread_exit(nullptr);
}

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
    if (w95::current_thread_id == 0)
        w95::current_thread_id = w95::NewThreadId();
    return w95::current_thread_id;
}

extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    }
    std::vector<std::shared_ptr<ThreadObject>> threads;
    for (DWORD i = 0; i < nCount; ++i) {
        auto thread = w95::LookupHandleAs<ThreadObject>(lpHandles[i]);
        if (!thread)
            return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
        threads.push_back(std::move(thread));
    }

    DWORD signalled = 0;
    auto satisfied = [&] {
        if (bWaitAll) {
            return std::all_of(threads.begin(), threads.end(),
                               [](const auto& thread) { return thread->finished; });
        }
        auto first = std::find_if(threads.begin(), threads.end(),
                                  [](const auto& thread) { return thread->finished; });
        signalled = static_cast<DWORD>(first - threads.begin());
        return first != threads.end();
    };

    auto& dispatcher = w95::TheDispatcher();
    std::unique_lock lock(dispatcher.mutex);
    if (dwMilliseconds == INFINITE) {
        dispatcher.changed.wait(lock, satisfied);
    } else {
        auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
        if (!dispatcher.changed.wait_until(lock, deadline, satisfied))
            return WAIT_TIMEOUT;
    }
    return bWaitAll ? WAIT_OBJECT_0 : WAIT_OBJECT_0 + signalled;
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, TRUE, dwMilliseconds);
}
