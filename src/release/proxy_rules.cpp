#include "release/proxy_rules.h"

bool asks_pac(const std::string& machine_proxy, const UserProxySetting& user) {
    return machine_proxy.empty() && (user.auto_detect || !user.pac_url.empty());
}

ProxyChoice choose_proxy(const std::string& machine_proxy, const UserProxySetting& user,
                         const std::optional<PacAnswer>& pac) {
    if (!machine_proxy.empty()) {
        return {ProxyAccess::system_default, machine_proxy, {}, "machine setting"};
    }
    if (asks_pac(machine_proxy, user) && pac && pac->error == 0) {
        // Windows tries auto-detection first and the PAC URL after it.
        std::string source = user.pac_url.empty() ? "auto-detection" : "PAC " + user.pac_url;
        if (pac->proxy.empty()) return {ProxyAccess::direct, {}, {}, std::move(source)};
        return {ProxyAccess::named, pac->proxy, pac->bypass, std::move(source)};
    }
    if (!user.proxy.empty()) return {ProxyAccess::named, user.proxy, user.bypass, "static"};
    return {ProxyAccess::system_default, {}, {}, "none set"};
}

std::string proxy_for_log(const ProxyChoice& choice) {
    return (choice.proxy.empty() ? std::string("direct") : choice.proxy) + " (" + choice.source +
           ")";
}
