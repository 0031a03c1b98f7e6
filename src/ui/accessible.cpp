#include "ui/accessible.h"

#include <oleacc.h>

#include <memory>
#include <string_view>

#include "text/utf.h"
#include "ui/accessible_tree.h"
#include "ui/window.h"
#include "win32/system_library.h"

namespace {

using accessible::Child;

static_assert(static_cast<DWORD>(accessible::Role::kDialog) == ROLE_SYSTEM_DIALOG);
static_assert(static_cast<DWORD>(accessible::Role::kStaticText) == ROLE_SYSTEM_STATICTEXT);
static_assert(static_cast<DWORD>(accessible::Role::kPushButton) == ROLE_SYSTEM_PUSHBUTTON);
static_assert(static_cast<DWORD>(accessible::Role::kProgressBar) == ROLE_SYSTEM_PROGRESSBAR);
static_assert(accessible::kUnavailable == STATE_SYSTEM_UNAVAILABLE);
static_assert(accessible::kFocused == STATE_SYSTEM_FOCUSED);
static_assert(accessible::kReadOnly == STATE_SYSTEM_READONLY);
static_assert(accessible::kFocusable == STATE_SYSTEM_FOCUSABLE);
static_assert(accessible::kSelf == CHILDID_SELF);

// Written out here: the import library that carries them costs about 10 KB.
constexpr IID kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidAccessible{
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// oleacc and oleaut32 are delay-loaded like every DLL that is not a KnownDLL,
// and loaded here only once a reader first asks: most runs never do. The
// object is handed out only after this succeeded, so its calls into them
// cannot fail to load. They stay loaded, as readers' proxies may use them
// until the process ends.
bool load_reader_dlls() {
    static bool loaded = false;  // UI thread only
    if (!loaded) {
        loaded =
            load_system_library(L"oleacc.dll").ok() && load_system_library(L"oleaut32.dll").ok();
    }
    return loaded;
}

HRESULT give_text(std::string_view text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    const WideText wide = to_wide(text);
    *out = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT give_child(std::int32_t child, VARIANT* out) {
    if (out == nullptr) return E_POINTER;
    out->vt = VT_I4;
    out->lVal = child;
    return S_OK;
}

HRESULT give_nothing(VARIANT* out) {
    if (out == nullptr) return E_POINTER;
    out->vt = VT_EMPTY;
    return S_FALSE;
}

}  // namespace

// One object per window. Readers in other processes reach it through COM's
// marshalling, which calls in on the UI thread; it lives as long as anyone
// holds a reference, the window holding one for its whole life.
class WindowAccessible final : public IAccessible {
public:
    explicit WindowAccessible(MainWindow& owner) : owner_(&owner) {}

    void disconnect() { owner_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == kIidAccessible || iid == kIidDispatch || iid == kIidUnknown) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        // The count is the owner, by COM's rule.
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (parent == nullptr) return E_POINTER;
        *parent = nullptr;
        if (owner_ == nullptr) return S_FALSE;
        const HRESULT hr =
            ::AccessibleObjectFromWindow(owner_->handle(), static_cast<DWORD>(OBJID_WINDOW),
                                         kIidDispatch, reinterpret_cast<void**>(parent));
        return SUCCEEDED(hr) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (count == nullptr) return E_POINTER;
        *count = accessible::kChildCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        // The parts are simple elements, known by id alone.
        return child_id(child) > 0 ? S_FALSE : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        return read_text(child, kName, out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        return read_text(child, kValue, out);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
        return read_text(child, kDescription, out);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        return read_text(child, kDefaultAction, out);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        const Child id = child_id(child);
        if (id < 0) return E_INVALIDARG;
        return give_child(static_cast<std::int32_t>(accessible::kParts[id].role), out);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        const Child id = child_id(child);
        if (id < 0 || owner_ == nullptr) return E_INVALIDARG;
        const auto states = accessible::states_of(owner_->state(), id, owner_->focus(),
                                                  ::GetFocus() == owner_->handle());
        return give_child(static_cast<std::int32_t>(states), out);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override {
        return give_text({}, out);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (topic != nullptr) *topic = 0;
        return give_text({}, file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
        return give_text({}, out);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        if (owner_ == nullptr || ::GetFocus() != owner_->handle()) return give_nothing(out);
        return give_child(accessible::child_of(owner_->focus()), out);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override { return give_nothing(out); }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        const Hit control = control_of(child);
        if (control == Hit::kDrag || !(flags & SELFLAG_TAKEFOCUS)) return E_INVALIDARG;
        // The control first: a window that gains the focus announces it.
        owner_->focus_control(control);
        ::SetFocus(owner_->handle());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        const Child id = child_id(child);
        if (id < 0 || owner_ == nullptr) return E_INVALIDARG;
        const Rect& place = accessible::kParts[id].rect;
        POINT origin{place.left, place.top};
        ::ClientToScreen(owner_->handle(), &origin);
        *left = origin.x;
        *top = origin.y;
        *width = place.right - place.left;
        *height = place.bottom - place.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* out) override {
        const Child from = child_id(start);
        if (from < 0) return E_INVALIDARG;
        std::int32_t to = 0;
        if (from == accessible::kSelf) {
            if (direction == NAVDIR_FIRSTCHILD) to = 1;
            if (direction == NAVDIR_LASTCHILD) to = accessible::kChildCount;
        } else {
            if (direction == NAVDIR_NEXT && from < accessible::kChildCount) to = from + 1;
            if (direction == NAVDIR_PREVIOUS && from > 1) to = from - 1;
        }
        return to > 0 ? give_child(to, out) : give_nothing(out);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
        if (owner_ == nullptr) return E_FAIL;
        POINT point{x, y};
        ::ScreenToClient(owner_->handle(), &point);
        RECT client{};
        ::GetClientRect(owner_->handle(), &client);
        if (!::PtInRect(&client, point)) return give_nothing(out);
        return give_child(accessible::child_at(point.x, point.y), out);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        const Hit control = control_of(child);
        if (control == Hit::kDrag) {
            return child_id(child) < 0 ? E_INVALIDARG : DISP_E_MEMBERNOTFOUND;
        }
        return ::PostMessageW(owner_->handle(), WM_PRESS, static_cast<WPARAM>(control), 0) ? S_OK
                                                                                           : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    // The child a VARIANT names, or -1.
    static Child child_id(const VARIANT& child) {
        if (child.vt != VT_I4 || child.lVal < 0 || child.lVal > accessible::kChildCount) {
            return static_cast<Child>(-1);
        }
        return static_cast<Child>(child.lVal);
    }

    // The control a VARIANT names, or kDrag.
    [[nodiscard]] Hit control_of(const VARIANT& child) const {
        const Child id = child_id(child);
        if (id < 0 || owner_ == nullptr) return Hit::kDrag;
        return accessible::kParts[id].control;
    }

    enum Text { kName, kValue, kDescription, kDefaultAction };

    HRESULT read_text(const VARIANT& child, Text text, BSTR* out) const {
        const Child id = child_id(child);
        if (id < 0 || owner_ == nullptr) {
            if (out) *out = nullptr;
            return E_INVALIDARG;
        }
        const WindowState* state = &owner_->state();
        switch (text) {
            case kName:
                return give_text(accessible::name_of(*state, id), out);
            case kValue:
                return give_text(accessible::value_of(*state, id), out);
            case kDescription:
                return give_text(accessible::description_of(*state, id), out);
            case kDefaultAction:
                break;
        }
        return give_text(accessible::default_action_of(id), out);
    }

    MainWindow* owner_;  // null once the window is gone
    ULONG references_ = 1;
};

namespace {

DWORD event_code(accessible::Event::Kind kind) {
    switch (kind) {
        case accessible::Event::Kind::kName:
            return EVENT_OBJECT_NAMECHANGE;
        case accessible::Event::Kind::kValue:
            return EVENT_OBJECT_VALUECHANGE;
        default:
            return EVENT_OBJECT_STATECHANGE;
    }
}

}  // namespace

AccessibleObject::AccessibleObject(MainWindow& window) : object_(new WindowAccessible(window)) {}

AccessibleObject::~AccessibleObject() {
    object_->disconnect();
    // Only an object that COM handed out has proxies to cut, and only then is
    // ole32 sure to be there.
    if (handed_out_ && load_system_library(L"ole32.dll").ok()) {
        ::CoDisconnectObject(static_cast<IAccessible*>(object_), 0);
    }
    object_->Release();
}

LRESULT AccessibleObject::answer_get_object(HWND window, WPARAM wparam, LPARAM lparam) {
    if (static_cast<LONG>(lparam) == OBJID_CLIENT && load_reader_dlls()) {
        handed_out_ = true;
        return ::LresultFromObject(kIidAccessible, wparam, object_);
    }
    return ::DefWindowProcW(window, WM_GETOBJECT, wparam, lparam);
}

void announce_focus(HWND window, Hit control) {
    if (::GetFocus() != window) return;
    ::NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, accessible::child_of(control));
}

bool announce_changes(HWND window, const WindowState& before, const WindowState& after) {
    bool focus_to_main = false;
    for (const accessible::Event& event : accessible::state_events(before, after)) {
        if (event.kind == accessible::Event::Kind::kFocus) {
            focus_to_main = true;
        } else {
            ::NotifyWinEvent(event_code(event.kind), window, OBJID_CLIENT, event.child);
        }
    }
    return focus_to_main;
}
