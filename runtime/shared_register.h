// A register simulated in one byte of a file, by default a POSIX shared
// memory object, so that programs of one user on one machine meet there.
#pragma once

#include "runtime/link_register.h"

#include <filesystem>

namespace strobelink::runtime {

class SharedRegister final : public LinkRegister {
public:
    // Creates the file owner-only holding `restValue` if it is missing or
    // empty. Refuses a symbolic link, a file of another owner and a file that
    // is not one byte long. Returns null and says why in `failure` otherwise.
    static std::unique_ptr<SharedRegister> open(const std::filesystem::path &path,
                                                std::uint8_t restValue, std::string &failure);
    class Key {
        friend class SharedRegister;
        Key() = default;
    };
    SharedRegister(Key, std::uint8_t *mappedByte) : byte_(mappedByte) {}
    ~SharedRegister() override;
    SharedRegister(const SharedRegister &) = delete;
    SharedRegister &operator=(const SharedRegister &) = delete;

    std::uint8_t read() override;
    void write(std::uint8_t value) override;

private:
    std::uint8_t *byte_; // one byte of a shared mapping
};

// The default register's path: /dev/shm/strobelink-<uid>.
std::filesystem::path defaultSharedRegisterPath();

} // namespace strobelink::runtime
