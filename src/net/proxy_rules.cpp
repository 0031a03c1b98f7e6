#include "net/proxy_rules.h"

bool asks_pac(WideView machine_proxy, const UserProxySetting& user) {
    return machine_proxy.empty() && (user.auto_detect || !user.pac_url.empty());
}

PacQuestions pac_questions(const UserProxySetting& user, const PacFailures& failed) {
    return {user.auto_detect && !failed.auto_detect, !user.pac_url.empty() && !failed.pac_url};
}

void note_pac_failure(PacFailures& failed, bool auto_detect, std::uint32_t error) {
    if (auto_detect) {
        failed.auto_detect = true;
    } else if (error == 12167) {  // ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT
        failed.pac_url = true;
    }
}

ProxyChoice choose_proxy(WideView machine_proxy, const UserProxySetting& user,
                         const PacAnswer& pac) {
    if (!machine_proxy.empty()) {
        return {ProxyAccess::system_default, machine_proxy, {}, ProxySource::machine};
    }
    if (asks_pac(machine_proxy, user) && pac.error == 0) {
        const ProxySource source =
            pac.by_auto_detect ? ProxySource::auto_detect : ProxySource::pac_file;
        if (pac.proxy.empty()) return {ProxyAccess::direct, {}, {}, source};
        return {ProxyAccess::named, pac.proxy, pac.bypass, source};
    }
    if (!user.proxy.empty()) {
        return {ProxyAccess::named, user.proxy, user.bypass, ProxySource::user_static};
    }
    return {};
}

const char* proxy_source_name(ProxySource source) {
    static constexpr const char* kNames[] = {"machine setting", "PAC file", "auto-detection",
                                             "static", "none set"};
    return kNames[static_cast<int>(source)];
}
