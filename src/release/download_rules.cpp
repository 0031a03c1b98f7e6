#include "release/download_rules.h"

#include "app_info.h"

bool version_is_safe_in_file_name(std::string_view version) {
    // A NUL would silently cut the name short at the system call.
    return version.find_first_of(std::string_view("\\/:\0", 4)) == std::string_view::npos;
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
