#include "runtime/parport_register.h"

#include "runtime/port_map.h"

#include <ieee1284.h>

namespace strobelink::runtime {

namespace {

constexpr std::string_view parportPrefix = "parport";
constexpr std::string_view inputSuffix = ":input";

} // namespace

// Undoes, in reverse, as much of listing, opening and claiming as was done.
struct ParportRegister::Claim {
    parport_list list{};
    bool listed = false;
    parport *port = nullptr;
    bool opened = false;
    bool claimed = false;

    Claim() = default;
    Claim(const Claim &) = delete;
    Claim &operator=(const Claim &) = delete;
    ~Claim() {
        if (claimed)
            ieee1284_release(port);
        if (opened)
            ieee1284_close(port);
        if (listed)
            ieee1284_free_ports(&list);
    }
};

bool parseParportRequest(const std::string &portSetting, ParportRequest &request) {
    std::string_view rest = portSetting;
    if (!rest.starts_with(parportPrefix))
        return false;
    rest.remove_prefix(parportPrefix.size());
    request = {};
    if (rest.ends_with(inputSuffix)) {
        request.dataInput = true;
        rest.remove_suffix(inputSuffix.size());
    }
    if (rest.empty())
        return true;
    if (!rest.starts_with(':') || rest.size() == 1)
        return false;
    request.name = rest.substr(1);
    return true;
}

std::unique_ptr<ParportRegister> ParportRegister::open(const ParportRequest &request,
                                                       std::string &failure) {
    auto claim = std::make_unique<Claim>();
    const std::string label = request.name.empty() ? "the port at 0x378" : "port " + request.name;
    claim->listed = ieee1284_find_ports(&claim->list, 0) == E1284_OK;
    if (!claim->listed) {
        failure = "parallel ports: cannot list them";
        return nullptr;
    }
    for (int i = 0; i < claim->list.portc && claim->port == nullptr; ++i) {
        parport *port = claim->list.portv[i];
        const bool matches = request.name.empty()
                                 ? port->base_addr == static_cast<unsigned long>(lpt1DataAddress)
                                 : request.name == port->name;
        if (matches)
            claim->port = port;
    }
    if (claim->port == nullptr) {
        failure = "parallel ports: " + label + " is not there";
        return nullptr;
    }
    int capabilities = 0;
    claim->opened = ieee1284_open(claim->port, 0, &capabilities) == E1284_OK;
    if (!claim->opened) {
        failure = "parallel ports: cannot open " + label;
        return nullptr;
    }
    claim->claimed = ieee1284_claim(claim->port) == E1284_OK;
    if (!claim->claimed) {
        failure = "parallel ports: cannot claim " + label + " (in use?)";
        return nullptr;
    }
    if (ieee1284_data_dir(claim->port, request.dataInput ? 1 : 0) != E1284_OK) {
        failure = "parallel ports: " + label + " cannot turn its data lines";
        return nullptr;
    }
    return std::make_unique<ParportRegister>(std::move(claim));
}

ParportRegister::ParportRegister(std::unique_ptr<Claim> claim) : claim_(std::move(claim)) {}

ParportRegister::~ParportRegister() = default;

std::uint8_t ParportRegister::read() {
    const int value = ieee1284_read_data(claim_->port);
    return value < 0 ? 0xFF : static_cast<std::uint8_t>(value);
}

void ParportRegister::write(std::uint8_t value) { ieee1284_write_data(claim_->port, value); }

} // namespace strobelink::runtime
