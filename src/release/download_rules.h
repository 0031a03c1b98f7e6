// Platform-free rules of the download worker: which version texts may become
// a file name, the setup file's name and where it goes.
#pragma once

#include <string>
#include <string_view>

#include "text/utf.h"

// The version comes from the network and becomes part of a file name. The
// system resolves "..\" lexically, so a separator or a drive colon in it
// could place the file outside the download folder; and a character Windows
// refuses in any file name (< > : " / \ | ? * and U+0000 to U+001F) would
// fail only after the whole download. Such a version is refused up front.
[[nodiscard]] bool version_is_safe_in_file_name(std::string_view version);

// "Vantrel-{}.exe".
[[nodiscard]] std::string setup_file_name(std::string_view version);

// `base` and `part` joined by one backslash, unless `base` already ends in one.
[[nodiscard]] WideText join_path(WideView base, WideView part);

// A stored setup, partial download or its record ("<setup name>",
// ".partial", ".resume") of another version than `setup_name`'s: a download
// deletes those it finds.
[[nodiscard]] bool is_other_version_file(std::string_view file_name, std::string_view setup_name);
