// Watches a register file from a thread of the test, independently of the
// programs, and keeps every change with the time it was seen.
#pragma once

#include "runtime/shared_register.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace strobelink::testing {

struct ObservedChange {
    std::chrono::steady_clock::time_point at;
    std::uint8_t value;
};

class RegisterObserver {
public:
    explicit RegisterObserver(const std::filesystem::path &path);
    ~RegisterObserver();
    RegisterObserver(const RegisterObserver &) = delete;
    RegisterObserver &operator=(const RegisterObserver &) = delete;

    std::vector<ObservedChange> changes() const;
    std::vector<std::uint8_t> values() const;

private:
    std::unique_ptr<runtime::SharedRegister> register_;
    mutable std::mutex mutex_;
    std::vector<ObservedChange> changes_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace strobelink::testing
