// What the window shows, and how the reports of workers change it. The
// record belongs to the UI thread; workers only ever post reports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/sha256.h"
#include "report/worker_message.h"

struct WindowState {
    std::string status;
    std::string detail;
    std::string button_label;
    std::optional<std::string> setup_url;
    std::optional<std::string> version;
    std::optional<Sha256> setup_sha256;
    bool progress_shown = false;
    float progress = 0.0f;  // read only while progress_shown
    bool busy = true;
    // Update checks are numbered as they start; only the result of the last
    // one started, and only while it is awaited, is applied.
    std::uint32_t last_check = 0;
    bool check_awaited = false;
};

// "Checking for updates...", "Contacting <host>", "Checking", busy.
[[nodiscard]] WindowState initial_window_state();

// The number of an update check about to start. Its result, and no earlier
// check's, will be applied; nothing visible changes until it arrives.
[[nodiscard]] std::uint32_t begin_update_check(WindowState& state);

// Moves the message's texts into the state by the update rule of each variant.
// A result of any update check but the one awaited is dropped: a slow check
// that ends after a newer one must not undo it, nor touch a running download.
void update_window_state(WindowState& state, WorkerMessage message);
