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
    std::string name = app::kSetupFilePrefix.c_str();
    name += version;
    name += ".exe";
    return name;
}

WideText join_path(WideView base, WideView part) {
    WideText joined(base);
    if (joined.empty() || joined.back() != WideChar('\\')) joined.push_back(WideChar('\\'));
    joined.append(part);
    return joined;
}

bool is_other_version_file(std::string_view file_name, std::string_view setup_name) {
    for (const std::string_view suffix : {".exe.partial", ".exe.resume", ".exe"}) {
        if (file_name.size() > suffix.size() &&
            file_name.starts_with(app::kSetupFilePrefix.c_str()) && file_name.ends_with(suffix)) {
            return file_name.substr(0, file_name.size() - suffix.size() + 4) != setup_name;
        }
    }
    return false;
}
