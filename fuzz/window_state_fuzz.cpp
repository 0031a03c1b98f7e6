// The window's update rule over any sequence of worker messages: after each
// message the state is exactly what that message's rule makes of the state
// before it, and the rules' promises hold over the whole sequence.
//
// Input: messages one after another, each a kind byte (mod 5) and its fields:
// texts as a length byte and that many bytes, floats as four raw bytes (any
// bit pattern), Status's optional progress and busy flag as bits of one byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "ui/window_state.h"

namespace {

WorkerMessage decode(ByteReader& in) {
    switch (in.byte() % 5) {
        case 0: {
            std::string version = in.text();
            std::string url = in.text();
            return {WorkerMessage::Ready{std::move(version), std::move(url)}};
        }
        case 1: {
            WorkerMessage::Status m;
            m.status = in.text();
            m.detail = in.text();
            const std::uint8_t flags = in.byte();
            const auto progress = in.raw<float>();
            if (flags & 1) m.progress = progress;
            m.busy = (flags & 2) != 0;
            return {std::move(m)};
        }
        case 2: {
            std::string detail = in.text();
            const auto fraction = in.raw<float>();
            return {WorkerMessage::Progress{std::move(detail), fraction}};
        }
        case 3:
            return {WorkerMessage::Failed{in.text()}};
        default:
            return {WorkerMessage::Installed{in.text()}};
    }
}

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The rule of each message, written out field by field.
WindowState expected_after(WindowState s, const WorkerMessage& message) {
    const auto show = [&s](float value) {
        s.progress_shown = true;
        s.progress = value;
    };
    if (const auto* m = std::get_if<WorkerMessage::Ready>(&message.body)) {
        s.status = "Ready to download";
        s.detail = "Latest build: " + m->version;
        s.button_label = "Download";
        s.setup_url = m->setup_url;
        s.version = m->version;
        show(0.0f);
        s.busy = false;
    } else if (const auto* m = std::get_if<WorkerMessage::Status>(&message.body)) {
        s.status = m->status;
        s.detail = m->detail;
        s.progress_shown = m->progress.has_value();
        if (m->progress) s.progress = *m->progress;
        s.busy = m->busy;
    } else if (const auto* m = std::get_if<WorkerMessage::Progress>(&message.body)) {
        s.status = "Downloading";
        s.detail = m->detail;
        show(m->fraction);
        s.busy = true;
    } else if (const auto* m = std::get_if<WorkerMessage::Failed>(&message.body)) {
        s.status = "Download failed";
        s.detail = m->message;
        s.button_label = "Try Again";
        show(0.0f);
        s.busy = false;
    } else if (const auto* m = std::get_if<WorkerMessage::Installed>(&message.body)) {
        s.status = "Installed";
        s.detail = m->detail;
        s.button_label = "Installed";
        show(1.0f);
        s.busy = true;
    }
    return s;
}

void expect_same_optional(const std::optional<std::string>& got,
                          const std::optional<std::string>& want, const char* what) {
    FUZZ_EXPECT(got.has_value() == want.has_value());
    if (got) expect_same_text(*got, *want, what);
}

void expect_same_state(const WindowState& got, const WindowState& want) {
    expect_same_text(got.status, want.status, "status");
    expect_same_text(got.detail, want.detail, "detail");
    expect_same_text(got.button_label, want.button_label, "button_label");
    expect_same_optional(got.setup_url, want.setup_url, "setup_url");
    expect_same_optional(got.version, want.version, "version");
    FUZZ_EXPECT(got.progress_shown == want.progress_shown);
    FUZZ_EXPECT(bits(got.progress) == bits(want.progress));
    FUZZ_EXPECT(got.busy == want.busy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WindowState state = initial_window_state();
    expect_same_text(state.status, "Checking for updates...", "initial status");
    expect_same_text(state.detail, "Contacting updates.vantrel.app", "initial detail");
    expect_same_text(state.button_label, "Checking", "initial button");
    FUZZ_EXPECT(!state.setup_url && !state.version && !state.progress_shown && state.busy);

    ByteReader in(data, size);
    while (!in.empty()) {
        WorkerMessage message = decode(in);
        const WindowState want = expected_after(state, message);
        const bool had_url = state.setup_url.has_value();
        const std::size_t kind = message.body.index();
        update_window_state(state, std::move(message));
        expect_same_state(state, want);

        // The promises, independently of the field-by-field rule above.
        FUZZ_EXPECT(!had_url || state.setup_url);
        if (kind != 1) FUZZ_EXPECT(state.progress_shown);
        switch (kind) {
            case 0:
                FUZZ_EXPECT(!state.busy && state.setup_url && state.version);
                FUZZ_EXPECT(bits(state.progress) == bits(0.0f));
                break;
            case 3:
                expect_same_text(state.button_label, "Try Again", "after Failed");
                FUZZ_EXPECT(!state.busy);
                break;
            case 4:
                FUZZ_EXPECT(state.busy && state.progress == 1.0f);
                break;
        }
    }
    return 0;
}
