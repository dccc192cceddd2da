// One owner type per Win32 handle kind. Owners are move-only, expose get() and
// release(), and never convert implicitly.
#pragma once
#include <windows.h>

#include <utility>

template <typename Traits>
class CZUniqueHandle {
 public:
  using handle_type = typename Traits::handle_type;

  CZUniqueHandle() : m_handle(Traits::Empty()) {}
  explicit CZUniqueHandle(handle_type handle) : m_handle(handle) {}
  CZUniqueHandle(const CZUniqueHandle&) = delete;
  CZUniqueHandle& operator=(const CZUniqueHandle&) = delete;
  CZUniqueHandle(CZUniqueHandle&& other) noexcept : m_handle(other.release()) {}
  CZUniqueHandle& operator=(CZUniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~CZUniqueHandle() { reset(); }

  handle_type get() const { return m_handle; }
  bool valid() const { return m_handle != Traits::Empty(); }
  handle_type release() { return std::exchange(m_handle, Traits::Empty()); }
  void reset(handle_type handle = Traits::Empty()) {
    if (m_handle != Traits::Empty()) Traits::Close(m_handle);
    m_handle = handle;
  }

 private:
  handle_type m_handle;
};

struct CZFileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE is empty
  using handle_type = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct CZKernelHandleTraits {  // processes, threads, mappings: null is empty
  using handle_type = HANDLE;
  static HANDLE Empty() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct CZRegHandleTraits {
  using handle_type = HKEY;
  static HKEY Empty() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct CZModuleHandleTraits {
  using handle_type = HMODULE;
  static HMODULE Empty() { return nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
struct CZWindowHandleTraits {
  using handle_type = HWND;
  static HWND Empty() { return nullptr; }
  static void Close(HWND h) { DestroyWindow(h); }
};

using CZUniqueFile = CZUniqueHandle<CZFileHandleTraits>;
using CZUniqueKernelHandle = CZUniqueHandle<CZKernelHandleTraits>;
using CZUniqueHKey = CZUniqueHandle<CZRegHandleTraits>;
using CZUniqueModule = CZUniqueHandle<CZModuleHandleTraits>;
using CZUniqueWindow = CZUniqueHandle<CZWindowHandleTraits>;
