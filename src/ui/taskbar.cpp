#include "ui/taskbar.h"

#include <shobjidl.h>

#include <utility>

#include "support/log.h"
#include "win32/handles.h"
#include "win32/system_library.h"

static_assert(static_cast<int>(TaskbarState::kNone) == TBPF_NOPROGRESS &&
              static_cast<int>(TaskbarState::kIndeterminate) == TBPF_INDETERMINATE &&
              static_cast<int>(TaskbarState::kNormal) == TBPF_NORMAL &&
              static_cast<int>(TaskbarState::kError) == TBPF_ERROR);

namespace {

// Written out here rather than linked from the uuid library.
constexpr CLSID kClsidTaskbarList{
    0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr IID kIidTaskbarList3{
    0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

class ShellTaskbarButton final : public TaskbarButton {
public:
    explicit ShellTaskbarButton(UniqueCom<ITaskbarList3> list) : list_(std::move(list)) {}

    void set_progress_state(HWND window, TaskbarState state) override {
        list_->SetProgressState(window, static_cast<TBPFLAG>(state));
    }
    void set_progress_value(HWND window, std::uint64_t completed, std::uint64_t total) override {
        list_->SetProgressValue(window, completed, total);
    }

private:
    UniqueCom<ITaskbarList3> list_;
};

}  // namespace

std::unique_ptr<TaskbarButton> shell_taskbar_button() {
    // ole32 is delay-loaded: loaded first, so that a missing one is an answer
    // rather than an exception from the loader.
    void* list = nullptr;
    HRESULT result = load_system_library(L"ole32.dll").ok()
                         ? ::CoCreateInstance(kClsidTaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                              kIidTaskbarList3, &list)
                         : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    UniqueCom<ITaskbarList3> owned(static_cast<ITaskbarList3*>(list));
    if (SUCCEEDED(result)) result = owned->HrInit();
    if (SUCCEEDED(result)) return std::make_unique<ShellTaskbarButton>(std::move(owned));
    // Once a run: the button is announced again after each restart of the shell.
    static bool told = false;
    if (!told) {
        log_event("no progress on the taskbar: 0x%",
                  {LogNumber(static_cast<std::uint32_t>(result), true)});
    }
    told = true;
    return nullptr;
}

std::unique_ptr<TaskbarButton> (*open_taskbar_button)() = shell_taskbar_button;

void show_taskbar_progress(TaskbarButton& button, HWND window, const TaskbarProgress& shown,
                           const TaskbarProgress& progress) {
    if (progress.state != shown.state) button.set_progress_state(window, progress.state);
    const bool has_value =
        progress.state == TaskbarState::kNormal || progress.state == TaskbarState::kError;
    if (has_value && progress != shown) {
        button.set_progress_value(window, progress.completed, kTaskbarWhole);
    }
}
