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

// The system's object for a control, named by the program: an object of its
// own, whose IAccessible calls all go to the system's object but the
// control's own name. It answers for no interface but its own (IUnknown,
// IDispatch, IAccessible, and IOleWindow, by which a client finds the
// control's window); handing the system's object out for any other would
// give a client the unnamed object (asked again for IAccessible), and its
// IServiceProvider tells UI Automation that the object is the system's own
// proxy, which may then be put in place of this one, with the system's name.
// Its IDispatch has no type information: a client that would call it late
// bound learns so, and calls IAccessible itself, as screen readers do.
class NamedAccessible final : public IAccessible, public IOleWindow {
 public:
  using AllocString = BSTR(WINAPI*)(const OLECHAR*);
  NamedAccessible(HWND control, IAccessible* standard, const wchar_t* name,
                  AllocString alloc_string)
      : control_(control), standard_(standard), name_(name), alloc_string_(alloc_string) {}
  NamedAccessible(const NamedAccessible&) = delete;
  NamedAccessible& operator=(const NamedAccessible&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
      *object = static_cast<IAccessible*>(this);
    } else if (iid == __uuidof(IOleWindow)) {
      *object = static_cast<IOleWindow*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch, without type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_INVALIDARG;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                          DISPID* ids) override {
    if (!ids) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // IOleWindow (its IUnknown is the object's).
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (!window) return E_INVALIDARG;
    *window = control_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

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
  const HWND control_;
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
  NamedAccessible* named =
      new (std::nothrow) NamedAccessible(control, standard, name, oleacc.alloc_string);
  if (!named) {
    standard->Release();
    return false;
  }
  // LresultFromObject takes a reference of its own for the screen reader; ours
  // goes.
  const LRESULT result = oleacc.lresult_from_object(__uuidof(IAccessible), wparam,
                                                         static_cast<IAccessible*>(named));
  named->Release();
  if (result < 0) return false;
  answer = result;
  return true;
}

}  // namespace tolvex
