// Delay's clock: never early, whatever signals arrive meanwhile.
#include "runtime/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <thread>

using namespace std::chrono_literals;
using strobelink::runtime::MonotonicClock;

namespace {

extern "C" void ignoreSignal(int) {}

TEST(MonotonicClock, SleepsTheWholePeriodThroughSignals) {
    struct sigaction interrupting {};
    interrupting.sa_handler = ignoreSignal; // no SA_RESTART: every signal interrupts the sleep
    sigemptyset(&interrupting.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &interrupting, &previous), 0);

    const pthread_t sleeper = ::pthread_self();
    std::atomic<bool> done{false};
    std::thread pesterer{[&] {
        while (!done) {
            ::pthread_kill(sleeper, SIGUSR1);
            std::this_thread::sleep_for(1ms);
        }
    }};
    MonotonicClock clock;
    for (const auto period : std::initializer_list<std::chrono::microseconds>{200us, 1ms, 10ms, 30ms}) { // a poll's plain sleep, and precise ones
        const auto before = clock.now();
        clock.sleepFor(period);
        const auto slept = clock.now() - before;
        EXPECT_GE(slept, period);
        EXPECT_LT(slept, period + 200ms) << "wide margin: a busy machine may be late";
    }
    done = true;
    pesterer.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
}

TEST(VirtualClock, MovesOnlyWhenSleptOnOrAdvanced) {
    strobelink::runtime::VirtualClock clock;
    EXPECT_EQ(clock.now(), 0ns);
    clock.sleepFor(10ms);
    clock.advance(5us);
    EXPECT_EQ(clock.now(), 10005us);
}

} // namespace
