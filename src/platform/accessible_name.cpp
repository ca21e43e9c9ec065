#include "platform/accessible_name.h"

#include <ole2.h>
#include <oleacc.h>

#include <new>

#include "platform/system_library.h"

namespace tolvex {
namespace {

// What is used of the accessibility library, COM and OLE automation, loaded by
// full path from the system folder. Nothing of them is imported: a program
// that imported oleacc would load it, and what it needs, at every start.
struct Oleacc {
  HRESULT(WINAPI* create_std_object)(HWND, LONG, REFIID, void**) = nullptr;
  LRESULT(WINAPI* lresult_from_object)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
  BSTR(WINAPI* alloc_string)(const OLECHAR*) = nullptr;
  HRESULT(WINAPI* com_initialize)(LPVOID) = nullptr;

  bool usable() const {
    return create_std_object && lresult_from_object && alloc_string && com_initialize;
  }
};

const Oleacc& LoadOleacc() {
  static bool tried = false;
  static Oleacc oleacc;
  if (!tried) {
    tried = true;
    const HMODULE library = LoadSystemLibrary(L"oleacc.dll");
    Resolve(library, "CreateStdAccessibleObject", oleacc.create_std_object);
    Resolve(library, "LresultFromObject", oleacc.lresult_from_object);
    // oleacc imports them: from the system folder, as oleacc itself.
    if (library) {
      Resolve(LoadSystemLibrary(L"oleaut32.dll"), "SysAllocString", oleacc.alloc_string);
      Resolve(LoadSystemLibrary(L"ole32.dll"), "CoInitialize", oleacc.com_initialize);
    }
    // The object goes to the screen reader through COM, which needs this
    // thread in an apartment: a single-threaded one, served by the window's
    // own message loop, as the file dialogs would make it for their time.
    // It lasts as long as the program.
    if (oleacc.usable()) oleacc.com_initialize(nullptr);
  }
  return oleacc;
}

// The system's object for a control, named by the program. Every call but the
// control's own name goes to the system's object; so do requests for its
// other interfaces (IOleWindow, by which a client finds the control's window,
// IEnumVARIANT, IServiceProvider), which the system's object answers itself,
// all but those by which COM would send that object out in place of this one.
class NamedAccessible final : public IAccessible {
 public:
  using AllocString = BSTR(WINAPI*)(const OLECHAR*);
  NamedAccessible(IAccessible* standard, const wchar_t* name, AllocString alloc_string)
      : standard_(standard), name_(name), alloc_string_(alloc_string) {}
  NamedAccessible(const NamedAccessible&) = delete;
  NamedAccessible& operator=(const NamedAccessible&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
      *object = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    // COM asks these of the object it sends to the screen reader: were the
    // system's object to answer, the screen reader could get it unnamed.
    if (iid == __uuidof(IMarshal) || iid == __uuidof(IMarshal2) ||
        iid == __uuidof(IStdMarshalInfo) || iid == __uuidof(IExternalConnection)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return standard_->QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return standard_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return standard_->GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument_error) override {
    return standard_->Invoke(id, iid, locale, flags, params, result, exception, argument_error);
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return standard_->get_accName(child, name);
    if (!name) return E_POINTER;
    *name = alloc_string_(name_);
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return standard_->get_accChildCount(count);
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return standard_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    return standard_->get_accDescription(child, description);
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
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
    return standard_->get_accFocus(child);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return standard_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return standard_->accSelect(flags, child);
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                        VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG left, LONG top, VARIANT* child) override {
    return standard_->accHitTest(left, top, child);
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
  ~NamedAccessible() { standard_->Release(); }

  LONG references_ = 1;
  IAccessible* const standard_;  // owned: one reference
  const wchar_t* const name_;
  const AllocString alloc_string_;
};

}  // namespace

bool AnswerWithAccessibleName(HWND control, WPARAM wparam, LPARAM lparam, const wchar_t* name,
                              LRESULT& answer) {
  // The object id comes as a 32-bit value, whatever the width of lparam.
  if (static_cast<DWORD>(lparam) != static_cast<DWORD>(OBJID_CLIENT)) return false;
  const Oleacc& oleacc = LoadOleacc();
  if (!oleacc.usable()) return false;
  IAccessible* standard = nullptr;
  if (FAILED(oleacc.create_std_object(control, OBJID_CLIENT, __uuidof(IAccessible),
                                      reinterpret_cast<void**>(&standard))) ||
      !standard) {
    return false;
  }
  NamedAccessible* named = new (std::nothrow) NamedAccessible(standard, name, oleacc.alloc_string);
  if (!named) {
    standard->Release();
    return false;
  }
  // LresultFromObject takes a reference of its own for the screen reader; ours
  // goes.
  const LRESULT result = oleacc.lresult_from_object(__uuidof(IAccessible), wparam, named);
  named->Release();
  if (result < 0) return false;
  answer = result;
  return true;
}

}  // namespace tolvex
