// Threads and waits: exit codes however a thread ends, suspended starts, priorities, waiting
// for many threads at once, and the errors of bad handles.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

// A gate test threads wait at until the test opens it; bounded, so no test can hang on it.
struct Gate {
    std::atomic<bool> open{false};
    void Pass() const {
        auto give_up = Steady::now() + std::chrono::seconds(30);
        while (!open && Steady::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

struct Job {
    DWORD code = 0;
    const Gate* gate = nullptr;
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    DWORD thread_id = 0;
};

DWORD WINAPI RunJob(LPVOID argument) {
    auto* job = static_cast<Job*>(argument);
    job->thread_id = GetCurrentThreadId();
    job->started = true;
    if (job->gate)
        job->gate->Pass();
    DWORD code = job->code;
    job->done = true;  // the job may be gone from here on
    return code;
}

HANDLE Start(Job& job, DWORD flags = 0, DWORD* id = nullptr) {
    HANDLE thread = CreateThread(nullptr, 0, RunJob, &job, flags, id);
    EXPECT_NE(thread, nullptr);
    return thread;
}

DWORD ExitCode(HANDLE thread) {
    DWORD code = 0xDEADBEEF;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    return code;
}

TEST(ThreadsTest, ExitCodeIsWhatTheRoutineReturned) {
    for (DWORD code : {DWORD{0}, DWORD{1}, DWORD{21}, DWORD{0x80000000}, DWORD{0xFFFFFFFF}}) {
        Job job;
        job.code = code;
        DWORD id = 0;
        HANDLE thread = Start(job, 0, &id);
        ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(ExitCode(thread), code);
        EXPECT_EQ(job.thread_id, id);
        EXPECT_NE(id, GetCurrentThreadId());
        EXPECT_TRUE(CloseHandle(thread));
    }
}

TEST(ThreadsTest, SuspendedThreadWaitsForResume) {
    Job job;
    job.code = 7;
    HANDLE thread = Start(job, CREATE_SUSPENDED);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(job.started);
    EXPECT_EQ(ExitCode(thread), DWORD{STILL_ACTIVE});
    EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD{WAIT_TIMEOUT});

    ASSERT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST));
    EXPECT_EQ(ResumeThread(thread), 1u);  // the previous suspend count
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(thread), 7u);
    EXPECT_EQ(ResumeThread(thread), 0u);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_HIGHEST);
    CloseHandle(thread);
}

TEST(ThreadsTest, StillActiveUntilTheEnd) {
    Gate gate;
    Job job;
    job.code = 3;
    job.gate = &gate;
    HANDLE thread = Start(job);
    auto before = Steady::now();
    EXPECT_EQ(WaitForSingleObject(thread, 100), DWORD{WAIT_TIMEOUT});
    EXPECT_GE(Steady::now() - before, std::chrono::milliseconds(100));
    EXPECT_EQ(ExitCode(thread), DWORD{STILL_ACTIVE});
    gate.open = true;
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(thread), 3u);
    CloseHandle(thread);
}

TEST(ThreadsTest, WaitAllOfManyThreadsReturnsWhenTheLastEnds) {
    for (DWORD count : {DWORD{32}, DWORD{MAXIMUM_WAIT_OBJECTS}}) {
        SCOPED_TRACE(count);
        Gate gate;
        std::vector<Job> jobs(count);
        std::vector<HANDLE> threads;
        for (DWORD i = 0; i < count; ++i) {
            jobs[i].code = 100 + i;
            jobs[i].gate = i == count / 2 ? &gate : nullptr;  // one straggler
            threads.push_back(Start(jobs[i], CREATE_SUSPENDED));
            SetThreadPriority(threads.back(), THREAD_PRIORITY_HIGHEST);
            ResumeThread(threads.back());
        }
        EXPECT_EQ(WaitForMultipleObjects(count, threads.data(), TRUE, 200), DWORD{WAIT_TIMEOUT});
        gate.open = true;
        ASSERT_EQ(WaitForMultipleObjects(count, threads.data(), TRUE, INFINITE), WAIT_OBJECT_0);
        for (DWORD i = 0; i < count; ++i) {
            EXPECT_EQ(ExitCode(threads[i]), 100 + i);
            EXPECT_TRUE(CloseHandle(threads[i]));
        }
    }
}

TEST(ThreadsTest, WaitAnyNamesTheFirstEndedThread) {
    Gate gate;
    Job blocked[3];
    Job quick;
    HANDLE threads[4];
    for (int i = 0; i < 3; ++i) {
        blocked[i].gate = &gate;
        threads[i == 2 ? 3 : i] = Start(blocked[i]);
    }
    threads[2] = Start(quick);
    EXPECT_EQ(WaitForMultipleObjects(4, threads, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    gate.open = true;
    ASSERT_EQ(WaitForMultipleObjects(4, threads, TRUE, INFINITE), WAIT_OBJECT_0);
    // With several ended, the lowest index is reported.
    EXPECT_EQ(WaitForMultipleObjects(4, threads, FALSE, 0), WAIT_OBJECT_0);
    for (HANDLE thread : threads)
        CloseHandle(thread);
}

struct Unwound {
    std::atomic<int>* count;
    ~Unwound() { ++*count; }
};

std::atomic<bool> ran_past_exit{false};

void ExitFromDeepInside(int depth, std::atomic<int>* destroyed) {
    Unwound local{destroyed};
    if (depth > 0) {
        ExitFromDeepInside(depth - 1, destroyed);
    } else if (depth == 0) {
        ExitThread(42);
    }
    ran_past_exit = true;
}

DWORD WINAPI ExitingRoutine(LPVOID argument) {
    auto* destroyed = static_cast<std::atomic<int>*>(argument);
    ExitFromDeepInside(5, destroyed);
    ran_past_exit = true;
    return 1;
}

TEST(ThreadsTest, ExitThreadFromDeepInACallEndsTheThreadWithItsCode) {
    std::atomic<int> destroyed{0};
    HANDLE thread = CreateThread(nullptr, 0, ExitingRoutine, &destroyed, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCode(thread), 42u);
    EXPECT_FALSE(ran_past_exit);
    EXPECT_EQ(destroyed, 6);  // the stack was unwound, every frame's locals destroyed
    CloseHandle(thread);
}

TEST(ThreadsTest, ClosingTheHandleDoesNotStopTheThread) {
    Gate gate;
    Job job;
    job.gate = &gate;
    HANDLE thread = Start(job);
    ASSERT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    DWORD code;
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

    gate.open = true;
    auto give_up = Steady::now() + std::chrono::seconds(30);
    while (!job.done && Steady::now() < give_up)
        Sleep(1);
    EXPECT_TRUE(job.done);
}

TEST(ThreadsTest, PrioritiesAreRecordedAndChecked) {
    Job job;
    HANDLE thread = Start(job, CREATE_SUSPENDED);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    for (int priority : {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_HIGHEST,
                         THREAD_PRIORITY_TIME_CRITICAL}) {
        EXPECT_TRUE(SetThreadPriority(thread, priority));
        EXPECT_EQ(GetThreadPriority(thread), priority);
    }
    for (int bad : {3, -3, 16, -16}) {
        EXPECT_FALSE(SetThreadPriority(thread, bad));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    }
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
    ResumeThread(thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);
    EXPECT_FALSE(SetThreadPriority(thread, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(ResumeThread(thread), DWORD(-1));
}

TEST(ThreadsTest, BadWaitsFail) {
    Job job, other;
    HANDLE thread = Start(job);
    HANDLE stale = Start(other);
    WaitForSingleObject(stale, INFINITE);
    CloseHandle(stale);

    for (HANDLE bad : {stale, HANDLE{nullptr}, INVALID_HANDLE_VALUE}) {
        HANDLE mixed[2] = {thread, bad};
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(2, mixed, TRUE, INFINITE), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    }
    std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, thread);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many.data(), TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(WaitForMultipleObjects(0, many.data(), TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

}  // namespace
