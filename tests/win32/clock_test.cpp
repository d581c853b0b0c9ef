// GetTickCount and Sleep on the real and the virtual clock.
#include "clock.h"

#include "machine.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>

namespace {

using Steady = std::chrono::steady_clock;

class ClockTest : public ::testing::Test {
  protected:
    void TearDown() override { w95::UseVirtualClock(false); }

    w95test::TempMachine machine_;
};

TEST_F(ClockTest, CounterWrapsAndUnsignedDifferencesStillMeasure) {
    const DWORD start = 0xFFFFFFFFu - 49;  // 50 ms before the wrap
    w95::SetMachineSetting("tick-start", std::to_string(start));
    w95::RestartClock();
    DWORD before = GetTickCount();
    EXPECT_LT(DWORD(before - start), 60000u);  // read at process start, not some other value
    Sleep(120);
    DWORD after = GetTickCount();
    EXPECT_LT(after, 0x80000000u);  // wrapped through zero
    EXPECT_GE(DWORD(after - before), 120u);
    EXPECT_GE(DWORD(after - start), 120u);
}

TEST_F(ClockTest, ANewMachineRestartsTheCounter) {
    w95::SetMachineSetting("tick-start", "1000");
    w95::RestartClock();
    Sleep(30);
    EXPECT_GE(GetTickCount(), 1030u);

    // Moving to another machine reads that machine's start value without being asked.
    w95test::TempMachine other;
    w95::SetMachineSetting("tick-start", "5000000");
    DWORD now = GetTickCount();
    EXPECT_GE(now, 5000000u);
    EXPECT_LT(now, 5000000u + 60000u);
}

TEST_F(ClockTest, RealSleepWaitsAtLeastItsTime) {
    auto real_start = Steady::now();
    DWORD before = GetTickCount();
    Sleep(80);
    EXPECT_GE(DWORD(GetTickCount() - before), 80u);
    EXPECT_GE(Steady::now() - real_start, std::chrono::milliseconds(80));
}

TEST_F(ClockTest, VirtualSleepMovesTheClockAtOnce) {
    w95::UseVirtualClock(true);
    ASSERT_TRUE(w95::VirtualClockInUse());
    auto real_start = Steady::now();
    DWORD before = GetTickCount();
    Sleep(60000);
    Sleep(5000);
    DWORD after = GetTickCount();
    EXPECT_GE(DWORD(after - before), 65000u);
    // The minute was skipped, not waited for.
    EXPECT_LT(Steady::now() - real_start, std::chrono::seconds(30));

    // Back on the real clock the counter does not step back.
    w95::UseVirtualClock(false);
    EXPECT_GE(DWORD(GetTickCount() - before), 65000u);
}

TEST_F(ClockTest, PollingLoopsEndOnTheVirtualClock) {
    // Timed waits that poll GetTickCount without sleeping must still end.
    w95::UseVirtualClock(true);
    auto give_up = Steady::now() + std::chrono::seconds(20);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 50 && Steady::now() < give_up) {
    }
    EXPECT_GE(DWORD(GetTickCount() - start), 50u);
    EXPECT_LT(Steady::now(), give_up);
}

}  // namespace
