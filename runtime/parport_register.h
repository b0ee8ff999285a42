// The data register of a real parallel port, through libieee1284.
#pragma once

#include "runtime/link_register.h"

namespace strobelink::runtime {

struct ParportRequest {
    std::string name;      // empty: the port at the classic LPT1 base address
    bool dataInput = false; // lines turned to input, for a receiver on a second PC
};

// Parses "parport", "parport:<name>", "parport:input", "parport:<name>:input".
// Returns false when `portSetting` is not a parallel-port choice at all.
bool parseParportRequest(const std::string &portSetting, ParportRequest &request);

class ParportRegister final : public LinkRegister {
public:
    // Claims the port for the register's lifetime; null and a reason if the
    // port is not there or cannot be claimed.
    static std::unique_ptr<ParportRegister> open(const ParportRequest &request,
                                                 std::string &failure);
    struct Claim; // the library's port list and the claimed port in it
    explicit ParportRegister(std::unique_ptr<Claim> claim);
    ~ParportRegister() override;
    ParportRegister(const ParportRegister &) = delete;
    ParportRegister &operator=(const ParportRegister &) = delete;

    std::uint8_t read() override;
    void write(std::uint8_t value) override;

private:
    std::unique_ptr<Claim> claim_;
};

} // namespace strobelink::runtime
