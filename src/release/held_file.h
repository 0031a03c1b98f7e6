// Steps on the stored setup, tried again while another program holds the
// file: security software opens a freshly written exe for seconds after it
// appears, and may remove it.
#pragma once

#include "base/result.h"

// Runs `attempt(context)` again while it fails on a held file, logging each
// try with its code: its success, or its last failure as step_failure words
// it. One loop for every step, so that the program carries it once.
[[nodiscard]] Status retry_while_held(const char* step, Status (*attempt)(void* context),
                                      void* context);

// The same for a callable that gives a Status.
template <class Attempt>
[[nodiscard]] Status retry_while_held(const char* step, Attempt attempt) {
    return retry_while_held(
        step, [](void* context) { return (*static_cast<Attempt*>(context))(); }, &attempt);
}
