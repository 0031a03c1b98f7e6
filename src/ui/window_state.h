// What the window shows, and the messages by which workers change it. The
// record belongs to the UI thread; workers only ever post messages.
#pragma once

#include <optional>
#include <string>
#include <variant>

struct WindowState {
    std::string status;
    std::string detail;
    std::string button_label;
    std::optional<std::string> setup_url;
    std::optional<std::string> version;
    bool progress_shown = false;
    float progress = 0.0f;  // read only while progress_shown
    bool busy = true;
};

struct WorkerMessage {
    struct Ready {
        std::string version;
        std::string setup_url;
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
};

// "Checking for updates...", "Contacting <host>", "Checking", busy.
[[nodiscard]] WindowState initial_window_state();

// Moves the message's texts into the state by the update rule of each variant.
void update_window_state(WindowState& state, WorkerMessage message);
