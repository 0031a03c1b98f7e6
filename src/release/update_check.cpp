#include "release/update_check.h"

#include <string_view>

#include "app_info.h"
#include "net/http_rules.h"
#include "net/transfer.h"
#include "release/manifest.h"
#include "support/log.h"
#include "win32/system.h"

void start_update_check(const WorkerChannel& channel, std::uint32_t check) {
    spawn_detached([channel, check] { run_update_check(channel, check); });
}

void run_update_check(const WorkerChannel& channel, std::uint32_t check) {
    auto body = fetch_to_memory(app::kManifestUrl.c_str(), {kManifestLimit, kManifestTooLarge});
    if (!body.ok()) {
        post_failure(channel, body.take_failure(), check);
        return;
    }
    const Body& bytes = body.value();
    auto release = read_release_manifest(std::string_view(bytes.data(), bytes.size()));
    if (!release.ok()) {
        post_failure(channel, release.take_failure(), check);
        return;
    }
    ReleaseInfo& info = release.value();
    log_event(info.sha256 ? "manifest: version %, setup %, SHA-256 given"
                          : "manifest: version %, setup %, no SHA-256",
              {info.version, url_for_log(info.setup_url)});
    post_worker_message(channel, {WorkerMessage::Ready{std::move(info.version),
                                                       std::move(info.setup_url), info.sha256},
                                  check});
}
