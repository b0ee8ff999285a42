// The byte behind the parallel port's data register, whatever provides it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace strobelink::runtime {

class LinkRegister {
public:
    virtual ~LinkRegister() = default;
    virtual std::uint8_t read() = 0;
    // Must be safe to call from a signal handler: the runtime uses it to put
    // the lines back at rest when the program dies.
    virtual void write(std::uint8_t value) = 0;
};

struct RegisterChoice {
    std::unique_ptr<LinkRegister> linkRegister; // null on failure
    std::string failure;                        // why, for the debug line
};

// Chooses the backend the way the programs do: from STROBELINK_PORT, else a
// shared-memory register of this user's own.
RegisterChoice openRegisterFromEnvironment();

} // namespace strobelink::runtime
