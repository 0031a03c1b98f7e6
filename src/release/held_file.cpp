#include "release/held_file.h"

#include <windows.h>

#include "release/installer_rules.h"
#include "support/log.h"

Status retry_while_held(const char* step, Status (*attempt)(void* context), void* context) {
    for (unsigned tries = 1;; ++tries) {
        Status done = attempt(context);
        if (done.ok()) return done;
        const auto wait = held_file_wait_ms(done.os_error(), tries);
        if (!wait) return step_failure(done.take_failure());
        log_event("% held (code %): try % of % in % ms",
                  {step, LogNumber(done.os_error()), LogNumber(tries + 1),
                   LogNumber(kHeldFileTries), LogNumber(*wait)});
        ::Sleep(*wait);
    }
}
