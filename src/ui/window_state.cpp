#include "ui/window_state.h"

#include <utility>

#include "app_info.h"

namespace {

struct Apply {
    WindowState& state;

    void show_progress(float value) const {
        state.progress_shown = true;
        state.progress = value;
    }

    void operator()(WorkerMessage::Ready& m) const {
        state.status = "Ready to download";
        state.detail = "Latest build: ";
        state.detail += m.version;
        state.button_label = "Download";
        state.setup_url = std::move(m.setup_url);
        state.setup_sha256 = m.sha256;
        state.version = std::move(m.version);
        show_progress(0.0f);
        state.busy = false;
    }
    void operator()(WorkerMessage::Status& m) const {
        state.status = std::move(m.status);
        state.detail = std::move(m.detail);
        state.progress_shown = m.progress.has_value();
        if (m.progress) state.progress = *m.progress;
        state.busy = m.busy;
    }
    void operator()(WorkerMessage::Progress& m) const {
        state.status = "Downloading";
        state.detail = std::move(m.detail);
        show_progress(m.fraction);
        state.busy = true;
    }
    void operator()(WorkerMessage::Failed& m) const {
        state.status = "Download failed";
        state.detail = std::move(m.message);
        state.button_label = "Try Again";
        show_progress(0.0f);
        state.busy = false;
    }
    void operator()(WorkerMessage::Installed& m) const {
        state.status = "Installed";
        state.detail = std::move(m.detail);
        state.button_label = "Installed";
        show_progress(1.0f);
        state.busy = true;
    }
};

}  // namespace

WindowState initial_window_state() {
    WindowState state;
    state.status = "Checking for updates...";
    state.detail = "Contacting ";
    state.detail += app::kUpdateHost.c_str();
    state.button_label = "Checking";
    return state;
}

std::uint32_t begin_update_check(WindowState& state) {
    state.check_awaited = true;
    return ++state.last_check;
}

void update_window_state(WindowState& state, WorkerMessage message) {
    if (message.check != 0) {
        if (!state.check_awaited || message.check != state.last_check) return;
        state.check_awaited = false;
    }
    std::visit(Apply{state}, message.body);
}
