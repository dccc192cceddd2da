// The owner of one COM interface pointer: one reference, released when the
// owner goes. Move-only like the handle owners; get() and release(), no
// implicit conversion.
#pragma once
#include <unknwn.h>

#include <utility>

template <typename T>
class CZComPtr {
 public:
  CZComPtr() = default;
  // Takes over a reference the caller already holds.
  explicit CZComPtr(T* pointer) : m_pointer(pointer) {}
  CZComPtr(const CZComPtr&) = delete;
  CZComPtr& operator=(const CZComPtr&) = delete;
  CZComPtr(CZComPtr&& other) noexcept : m_pointer(other.release()) {}
  CZComPtr& operator=(CZComPtr&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~CZComPtr() { reset(); }

  T* get() const { return m_pointer; }
  T* operator->() const { return m_pointer; }
  bool valid() const { return m_pointer != nullptr; }
  T* release() { return std::exchange(m_pointer, nullptr); }
  void reset(T* pointer = nullptr) {
    T* old = std::exchange(m_pointer, pointer);
    if (old != nullptr) old->Release();
  }
  // For the out parameter of a call that hands over a reference.
  T** put() {
    reset();
    return &m_pointer;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  // Another interface of the same object; empty when it has none.
  template <typename U>
  CZComPtr<U> As(REFIID iid) const {
    CZComPtr<U> other;
    if (m_pointer != nullptr) m_pointer->QueryInterface(iid, other.put_void());
    return other;
  }

 private:
  T* m_pointer = nullptr;
};

// A new reference to pointer (which may be null).
template <typename T>
CZComPtr<T> ShareComPtr(T* pointer) {
  if (pointer != nullptr) pointer->AddRef();
  return CZComPtr<T>(pointer);
}
