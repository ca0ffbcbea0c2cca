// The accessible object of a named field: the standard object of the control, with the name
// given here. It answers WM_GETOBJECT for OBJID_CLIENT through a subclass of the control.
// Interface identities come from __uuidof: the import library's IID_IAccessible names a symbol
// of oleacc.dll, and a reference to it without dllimport links to a jump thunk, not the GUID.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <new>
#include <string>

#include "win32/editor/accessible.h"

namespace editor {

namespace {

class NamedAccessible final : public IAccessible {
public:
    NamedAccessible(IAccessible* standard, const std::wstring& name) : standard_(standard), name_(name) {}
    NamedAccessible(const NamedAccessible&) = delete;
    NamedAccessible& operator=(const NamedAccessible&) = delete;

    // IUnknown: this object stands for the standard one; the interfaces it does not speak
    // (IEnumVARIANT for the children, IOleWindow) are the standard object's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return standard_->QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            standard_->Release();
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return standard_->GetTypeInfoCount(n); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override {
        return standard_->GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT n, LCID lcid, DISPID* ids) override {
        return standard_->GetIDsOfNames(riid, names, n, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT* arg) override {
        return standard_->Invoke(id, riid, lcid, flags, params, result, info, arg);
    }

    // IAccessible: the name of the object itself is ours, everything else the standard's.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (child.vt == VT_I4 && child.lVal == CHILDID_SELF) {
            if (!name) return E_POINTER;
            *name = SysAllocString(name_.c_str());
            return *name ? S_OK : E_OUTOFMEMORY;
        }
        return standard_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override { return standard_->get_accChildCount(n); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return standard_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return standard_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return standard_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        return standard_->get_accKeyboardShortcut(child, keys);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* cx, long* cy, VARIANT child) override {
        return standard_->accLocation(x, y, cx, cy, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return standard_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_->put_accValue(child, value);
    }

private:
    ~NamedAccessible() = default;
    LONG refs_ = 1;
    IAccessible* standard_; // owned: one reference
    std::wstring name_;
};

constexpr UINT_PTR k_subclass_id = 0x6e616d65; // "name"
// The control's name as the subclass keeps it, found again for a new name.
constexpr const wchar_t* k_name_property = L"tagzo.accessible-name";

LRESULT CALLBACK named_control_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* name = reinterpret_cast<std::wstring*>(data);
    switch (msg) {
    case WM_GETOBJECT:
        if (static_cast<LONG>(lp) == static_cast<LONG>(OBJID_CLIENT)) {
            IAccessible* standard = nullptr;
            if (FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                 reinterpret_cast<void**>(&standard))))
                break;
            auto* named = new (std::nothrow) NamedAccessible(standard, *name);
            if (!named) {
                standard->Release();
                break;
            }
            LRESULT result = LresultFromObject(__uuidof(IAccessible), wp, static_cast<IAccessible*>(named));
            named->Release();
            return result;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, named_control_proc, k_subclass_id);
        RemovePropW(hwnd, k_name_property);
        delete name;
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void name_one(HWND control, const std::wstring& name) {
    // Named before: the name changes (a reader asks for it anew each time).
    if (auto* named = static_cast<std::wstring*>(GetPropW(control, k_name_property))) {
        *named = name;
        return;
    }
    auto* kept = new (std::nothrow) std::wstring(name);
    if (kept && !SetWindowSubclass(control, named_control_proc, k_subclass_id, reinterpret_cast<DWORD_PTR>(kept)))
        delete kept;
    else if (kept) SetPropW(control, k_name_property, kept);
}

} // namespace

void name_for_screen_readers(HWND control, const std::wstring& name) {
    if (!control) return;
    name_one(control, name);
    wchar_t kind[16] = {};
    GetClassNameW(control, kind, 16);
    if (lstrcmpiW(kind, L"ComboBox") == 0)
        if (HWND edit = GetWindow(control, GW_CHILD)) name_one(edit, name);
}

} // namespace editor
