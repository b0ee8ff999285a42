#include "runtime/link_register.h"
#include "runtime/parport_register.h"
#include "runtime/port_map.h"
#include "runtime/shared_register.h"

#include <cstdlib>

namespace strobelink::runtime {

RegisterChoice openRegisterFromEnvironment() {
    RegisterChoice choice;
    const char *setting = std::getenv("STROBELINK_PORT");
    const std::string portSetting = setting != nullptr ? setting : "";
    if (portSetting.starts_with("parport")) {
        ParportRequest request;
        if (!parseParportRequest(portSetting, request))
            choice.failure = "STROBELINK_PORT=" + portSetting + ": expected parport, parport:<name> or either with :input";
        else
            choice.linkRegister = ParportRegister::open(request, choice.failure);
        return choice;
    }
    const std::filesystem::path path = portSetting.empty() ? defaultSharedRegisterPath() : std::filesystem::path{portSetting};
    choice.linkRegister = SharedRegister::open(path, dataLinesAtRest, choice.failure);
    return choice;
}

} // namespace strobelink::runtime
