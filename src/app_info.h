// Every name of the product the program uses, written once. Compile-time
// text, so the painted labels and the window's constants can refer to it.
#pragma once

#include <cstddef>

namespace app {

// A NUL-terminated text built at compile time.
template <std::size_t N>
struct FixedText {
    char chars[N]{};

    constexpr FixedText() = default;
    constexpr FixedText(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
    }
    [[nodiscard]] constexpr const char* c_str() const { return chars; }
};

template <std::size_t A, std::size_t B>
constexpr FixedText<A + B - 1> operator+(const FixedText<A>& a, const FixedText<B>& b) {
    FixedText<A + B - 1> joined;
    for (std::size_t i = 0; i + 1 < A; ++i) joined.chars[i] = a.chars[i];
    for (std::size_t i = 0; i < B; ++i) joined.chars[A - 1 + i] = b.chars[i];
    return joined;
}

inline constexpr FixedText kProductName{"Vantrel"};
// The window title, the HTTP user agent and the caption of the one message box.
inline constexpr auto kAppName = kProductName + FixedText{" Bootstrapper"};
inline constexpr auto kWindowClass = kProductName + FixedText{"BootstrapperWindow"};
// Held by the open run in the user's session: a second start brings that
// run's window forward instead of opening another.
inline constexpr auto kRunningMutex =
    FixedText{"Local\\"} + kProductName + FixedText{"BootstrapperRunning"};

inline constexpr FixedText kUpdateHost{"updates.vantrel.app"};
inline constexpr auto kManifestUrl =
    FixedText{"https://"} + kUpdateHost + FixedText{"/vantrel/updates/beta/latest.json"};

// The setup is stored as <temp>\<kDownloadFolder>\<kSetupFilePrefix><version>.exe.
inline constexpr auto kDownloadFolder = kProductName + FixedText{"Bootstrapper"};
inline constexpr auto kSetupFilePrefix = kProductName + FixedText{"-"};

}  // namespace app
