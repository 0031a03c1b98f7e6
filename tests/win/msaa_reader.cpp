// A screen reader's view of the running program, from another process, as
// NVDA reads a window through MSAA:
//   msaa_reader tree      one line per object: id | role | name | value |
//                         description | default action | states | client
//                         x,y,w,h | who accHitTest finds at its centre;
//                         then the object with the focus
//   msaa_reader press ID  that child's default action
//   msaa_reader events    "kind | child id" of each event the program
//                         raises, until killed
#include <oleacc.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app_info.h"
#include "text/utf.h"

namespace {

IAccessible* g_window;
HWND g_hwnd;

VARIANT child(long id) {
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::string text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), const VARIANT& c) {
    BSTR value = nullptr;
    const HRESULT hr = (g_window->*get)(c, &value);
    std::string out = hr == S_OK && value ? from_wide_lossy(value) : "";
    ::SysFreeString(value);
    return out;
}

std::string found(const VARIANT& v) {
    return v.vt == VT_I4 ? std::to_string(v.lVal) : v.vt == VT_EMPTY ? "none" : "other";
}

std::string describe(long id) {
    const VARIANT c = child(id);
    const std::string texts[] = {
        text(&IAccessible::get_accName, c), text(&IAccessible::get_accValue, c),
        text(&IAccessible::get_accDescription, c), text(&IAccessible::get_accDefaultAction, c)};
    VARIANT role{}, state{};
    g_window->get_accRole(c, &role);
    g_window->get_accState(c, &state);
    wchar_t word[64];
    ::GetRoleTextW(role.lVal, word, 64);
    std::string line = std::to_string(id) + " | " + from_wide_lossy(word);
    for (const std::string& t : texts) line += " | " + t;
    std::string states;
    for (DWORD bit = 1; bit != 0; bit <<= 1) {
        if (!(state.lVal & bit)) continue;
        ::GetStateTextW(bit, word, 64);
        states += (states.empty() ? "" : ", ") + from_wide_lossy(word);
    }
    long x = 0, y = 0, w = 0, h = 0;
    g_window->accLocation(&x, &y, &w, &h, c);
    POINT origin{0, 0};
    ::ClientToScreen(g_hwnd, &origin);
    VARIANT hit{};
    g_window->accHitTest(x + w / 2, y + h / 2, &hit);
    return line + " | " + states + " | " + std::to_string(x - origin.x) + "," +
           std::to_string(y - origin.y) + "," + std::to_string(w) + "," + std::to_string(h) +
           " | " + found(hit);
}

void CALLBACK on_event(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG id, DWORD, DWORD) {
    if (object != OBJID_CLIENT) return;
    const char* kind = event == EVENT_OBJECT_FOCUS         ? "focus"
                       : event == EVENT_OBJECT_NAMECHANGE  ? "name"
                       : event == EVENT_OBJECT_VALUECHANGE ? "value"
                       : event == EVENT_OBJECT_STATECHANGE ? "state"
                                                           : nullptr;
    if (kind == nullptr) return;
    std::printf("%s | %ld\n", kind, static_cast<long>(id));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string what = argc > 1 ? argv[1] : "";
    g_hwnd = ::FindWindowW(to_wide(app::kWindowClass.c_str()).c_str(), nullptr);
    if (g_hwnd == nullptr || FAILED(::AccessibleObjectFromWindow(
                                 g_hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                 reinterpret_cast<void**>(&g_window)))) {
        std::fprintf(stderr, "no accessible window\n");
        return 1;
    }
    if (what == "tree") {
        long count = 0;
        g_window->get_accChildCount(&count);
        VARIANT children[16];
        long got = 0;
        ::AccessibleChildren(g_window, 0, count < 16 ? count : 16, children, &got);
        std::printf("%s\n", describe(CHILDID_SELF).c_str());
        for (long i = 0; i < got; ++i) std::printf("%s\n", describe(children[i].lVal).c_str());
        VARIANT focus{};
        g_window->get_accFocus(&focus);
        std::printf("focus %s\n", found(focus).c_str());
    } else if (what == "press" && argc > 2) {
        return FAILED(g_window->accDoDefaultAction(child(std::atol(argv[2])))) ? 2 : 0;
    } else if (what == "events") {
        DWORD process = 0;
        ::GetWindowThreadProcessId(g_hwnd, &process);
        ::SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, on_event, process,
                          0, WINEVENT_OUTOFCONTEXT);
        std::printf("listening\n");
        std::fflush(stdout);
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    }
    return 0;
}
