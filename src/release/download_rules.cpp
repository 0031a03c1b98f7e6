#include "release/download_rules.h"

#include "app_info.h"

bool version_is_safe_in_file_name(std::string_view version) {
    for (const char c : version) {
        // A NUL would silently cut the name short at the system call. Bytes of
        // UTF-8 sequences are 0x80 and above, so they never match here.
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) return false;
    }
    return true;
}

std::string setup_file_name(std::string_view version) {
    return app::kSetupFilePrefix.c_str() + std::string(version) + ".exe";
}

WideText join_path(WideView base, WideView part) {
    WideText joined(base);
    if (joined.empty() || joined.back() != WideChar('\\')) joined.push_back(WideChar('\\'));
    joined.append(part);
    return joined;
}
