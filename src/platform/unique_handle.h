// Move-only owners for Win32 handles, GDI objects and device contexts.
#pragma once

#include <windows.h>

#include <utility>

namespace tolvex {

// Traits give Invalid(), IsValid() and Close(); Close may use the traits'
// own state (a closing function chosen at run time).
template <typename T, typename Traits>
class UniqueResource : private Traits {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value, Traits traits = Traits()) : Traits(traits), value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : Traits(other.traits()), value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      static_cast<Traits&>(*this) = other.traits();
    }
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return Traits::IsValid(value_); }
  const Traits& traits() const { return *this; }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) static_cast<Traits&>(*this).Close(value_);
    value_ = value;
  }

 private:
  T value_ = Traits::Invalid();
};

struct FileHandleTraits {  // CreateFileW: INVALID_HANDLE_VALUE on failure
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct KernelHandleTraits {  // everything else: nullptr on failure
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct GdiObjectTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static bool IsValid(HGDIOBJ h) { return h != nullptr; }
  static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};

struct ScreenDcTraits {  // GetDC(nullptr): the whole screen's device context
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC h) { return h != nullptr; }
  static void Close(HDC h) { ::ReleaseDC(nullptr, h); }
};

using UniqueFile = UniqueResource<HANDLE, FileHandleTraits>;
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;
using UniqueScreenDc = UniqueResource<HDC, ScreenDcTraits>;

}  // namespace tolvex
