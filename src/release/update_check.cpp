#include "release/update_check.h"

#include <string_view>

#include "app_info.h"
#include "release/http_get.h"
#include "release/manifest.h"
#include "ui/worker_channel.h"
#include "win32/system.h"

void start_update_check(HWND window) {
    spawn_detached([window] { run_update_check(window); });
}

void run_update_check(HWND window) {
    auto body = http_get(app::kManifestUrl.c_str(), nullptr);
    if (!body.ok()) {
        post_failure(window, std::move(body.error()));
        return;
    }
    const Body& bytes = body.value();
    auto release = read_release_manifest(std::string_view(bytes.data(), bytes.size()));
    if (!release.ok()) {
        post_failure(window, std::move(release.error()));
        return;
    }
    post_worker_message(window, {WorkerMessage::Ready{std::move(release.value().version),
                                                      std::move(release.value().setup_url)}});
}
