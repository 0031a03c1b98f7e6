// What a worker reports to the window. Both sides include this: the window
// applies the reports, the release pipeline sends them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "base/sha256.h"

struct WorkerMessage {
    struct Ready {
        std::string version;
        std::string setup_url;
        std::optional<Sha256> sha256 = std::nullopt;
    };
    struct Status {
        std::string status;
        std::string detail;
        std::optional<float> progress;
        bool busy = true;
    };
    struct Progress {
        std::string detail;
        float fraction = 0.0f;
    };
    struct Failed {
        std::string message;
    };
    struct Installed {
        std::string detail;
    };

    std::variant<Ready, Status, Progress, Failed, Installed> body;
    // The number of the update check that sent it; 0 for every other worker.
    std::uint32_t check = 0;
};
