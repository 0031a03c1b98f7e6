// The window's update rule over any sequence of worker messages and update
// check starts: after each step the state is what the rule's table of
// transitions makes of the state before it, and a result of any check but the
// one awaited changes nothing at all.
//
// Input: steps one after another, each a kind byte (mod 6: the five messages,
// or a check starting) and, for a message, a byte choosing its check number
// (none, the one awaited, the one before it, or any) and its fields: texts as a
// length byte and that many bytes, floats as four raw bytes (any bit pattern),
// Status's optional progress and busy flag as bits of one byte, Ready's digest
// as a flag byte and 32 bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "ui/window_state.h"

namespace {

// The rule, as a table: for each message, what each part of the window shows.
enum class Bar : std::uint8_t { at_zero, at_one, at_fraction, as_message_says };
enum class Busy : std::uint8_t { yes, no, as_message_says };

struct Transition {
    const char* status;         // null: the message's own status text
    const char* detail_before;  // the detail is this, then the message's text
    const char* button;         // null: the button keeps its label
    Bar bar;
    Busy busy;
    bool takes_release;  // setup URL, version and digest come from the message
};

// In the order of WorkerMessage's alternatives.
constexpr Transition kTransitions[] = {
    {"Ready to download", "Latest build: ", "Download", Bar::at_zero, Busy::no, true},  // Ready
    {nullptr, "", nullptr, Bar::as_message_says, Busy::as_message_says, false},         // Status
    {"Downloading", "", nullptr, Bar::at_fraction, Busy::yes, false},                   // Progress
    {"Download failed", "", "Try Again", Bar::at_zero, Busy::no, false},                // Failed
    {"Installed", "", "Installed", Bar::at_one, Busy::yes, false},                      // Installed
};

// A message as the decoder made it, and the fields it put in, kept apart
// from the message that the code under test consumes.
struct Step {
    std::size_t kind = 0;
    std::string status, text, url;  // text: the version, detail or message
    std::optional<float> fraction;  // Status: only when given
    bool busy = false;
    std::optional<Sha256> digest;
    std::uint32_t check = 0;
};

WorkerMessage message_of(const Step& s) {
    WorkerMessage m{WorkerMessage::Installed{s.text}, s.check};
    switch (s.kind) {
        case 0:
            m.body = WorkerMessage::Ready{s.text, s.url, s.digest};
            break;
        case 1:
            m.body = WorkerMessage::Status{s.status, s.text, s.fraction, s.busy};
            break;
        case 2:
            m.body = WorkerMessage::Progress{s.text, *s.fraction};
            break;
        case 3:
            m.body = WorkerMessage::Failed{s.text};
            break;
    }
    return m;
}

Step decode_message(ByteReader& in, std::size_t kind, std::uint32_t started) {
    Step s;
    s.kind = kind;
    const std::uint8_t which = in.byte();
    const std::uint32_t checks[] = {0, started, started - 1, which};
    s.check = checks[which % 4];
    switch (kind) {
        case 0:
            s.text = in.text();
            s.url = in.text();
            if (in.byte() & 1) s.digest = in.raw<Sha256>();
            break;
        case 1: {
            s.status = in.text();
            s.text = in.text();
            const std::uint8_t flags = in.byte();
            const auto progress = in.raw<float>();
            if (flags & 1) s.fraction = progress;
            s.busy = (flags & 2) != 0;
            break;
        }
        case 2:
            s.text = in.text();
            s.fraction = in.raw<float>();
            break;
        default:
            s.text = in.text();
            break;
    }
    return s;
}

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The visible state, by the table.
WindowState expected_after(WindowState s, const Step& step) {
    const Transition& t = kTransitions[step.kind];
    s.status = t.status ? t.status : step.status;
    s.detail = std::string(t.detail_before) + step.text;
    if (t.button) s.button_label = t.button;
    switch (t.bar) {
        case Bar::at_zero:
            s.progress_shown = true;
            s.progress = 0.0f;
            break;
        case Bar::at_one:
            s.progress_shown = true;
            s.progress = 1.0f;
            break;
        case Bar::at_fraction:
            s.progress_shown = true;
            s.progress = *step.fraction;
            break;
        case Bar::as_message_says:
            s.progress_shown = step.fraction.has_value();
            if (step.fraction) s.progress = *step.fraction;
            break;
    }
    s.busy = t.busy == Busy::yes || (t.busy == Busy::as_message_says && step.busy);
    if (t.takes_release) {
        s.setup_url = step.url;
        s.version = step.text;
        s.setup_sha256 = step.digest;
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
    FUZZ_EXPECT(got.setup_sha256 == want.setup_sha256);
    FUZZ_EXPECT(got.progress_shown == want.progress_shown);
    // The value is kept while hidden, so it is compared always.
    FUZZ_EXPECT(bits(got.progress) == bits(want.progress));
    FUZZ_EXPECT(got.busy == want.busy);
    FUZZ_EXPECT(got.last_check == want.last_check);
    FUZZ_EXPECT(got.check_awaited == want.check_awaited);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WindowState state = initial_window_state();
    expect_same_text(state.status, "Checking for updates...", "initial status");
    expect_same_text(state.detail, "Contacting updates.vantrel.app", "initial detail");
    expect_same_text(state.button_label, "Checking", "initial button");
    FUZZ_EXPECT(!state.setup_url && !state.version && !state.setup_sha256 &&
                !state.progress_shown && state.busy);

    // The checks, counted here on their own: the last one started, and
    // whether its result is still awaited.
    std::uint32_t started = 0;
    bool awaited = false;
    ByteReader in(data, size);
    while (!in.empty()) {
        const std::size_t kind = in.byte() % 6;
        if (kind == 5) {
            WindowState want = state;
            want.last_check = ++started;
            want.check_awaited = awaited = true;
            FUZZ_EXPECT(begin_update_check(state) == started);
            expect_same_state(state, want);
            continue;
        }
        const Step step = decode_message(in, kind, started);
        const bool applies = step.check == 0 || (awaited && step.check == started);
        WindowState want = applies ? expected_after(state, step) : state;
        if (applies && step.check != 0) want.check_awaited = awaited = false;
        update_window_state(state, message_of(step));
        expect_same_state(state, want);
    }
    return 0;
}
