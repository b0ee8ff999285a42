#include "tests/support/register_observer.h"

#include <stdexcept>

namespace strobelink::testing {

RegisterObserver::RegisterObserver(const std::filesystem::path &path) {
    std::string failure;
    register_ = runtime::SharedRegister::open(path, 0x80, failure);
    if (!register_)
        throw std::runtime_error{failure};
    thread_ = std::thread{[this] {
        std::uint8_t last = register_->read();
        while (!stop_.load(std::memory_order_relaxed)) {
            // Far finer than a 10 ms hold, without taking a whole core.
            std::this_thread::sleep_for(std::chrono::microseconds{50});
            const std::uint8_t now = register_->read();
            if (now != last) {
                const std::lock_guard lock{mutex_};
                changes_.push_back({std::chrono::steady_clock::now(), now});
                last = now;
            }
        }
    }};
}

RegisterObserver::~RegisterObserver() {
    stop_ = true;
    thread_.join();
}

std::vector<ObservedChange> RegisterObserver::changes() const {
    const std::lock_guard lock{mutex_};
    return changes_;
}

std::vector<std::uint8_t> RegisterObserver::values() const {
    std::vector<std::uint8_t> values;
    for (const auto &change : changes())
        values.push_back(change.value);
    return values;
}

} // namespace strobelink::testing
