#pragma once
// Intrusive, atomic reference counting shared by operations, buffers, blocks' users, lock
// sections and access objects.
//
// A new object starts at a count of 0; the first TRef that holds it takes the first reference
// and the object is deleted when the last reference is dropped. Interfaces derive virtually
// from TRefCounted so that an object implementing several of them still has one count.
// Asking an object for another interface is a dynamic_cast (RefCast).
// AddRef and Release may be called from any thread.

#include <atomic>
#include <cstdint>
#include <utility>

namespace tardivox {

class TRefCounted {
 public:
  TRefCounted() = default;
  TRefCounted(const TRefCounted&) = delete;
  TRefCounted& operator=(const TRefCounted&) = delete;
  virtual ~TRefCounted() = default;

  void AddRef() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int32_t RefCount() const noexcept { return refs_.load(std::memory_order_acquire); }

 private:
  mutable std::atomic<int32_t> refs_{0};
};

// Owning pointer to a reference-counted object (or one of its interfaces).
template <class T>
class TRef {
 public:
  TRef() noexcept = default;
  TRef(std::nullptr_t) noexcept {}
  TRef(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  TRef(const TRef& o) noexcept : TRef(o.p_) {}
  TRef(TRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  TRef(const TRef<U>& o) noexcept : TRef(static_cast<T*>(o.get())) {}
  template <class U>
  TRef(TRef<U>&& o) noexcept : p_(o.detach()) {}
  ~TRef() { reset(); }

  TRef& operator=(TRef o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Gives up the reference without releasing it.
  T* detach() noexcept { return std::exchange(p_, nullptr); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  friend bool operator==(const TRef& a, const TRef& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const TRef& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

template <class T, class... Args>
TRef<T> MakeRef(Args&&... args) {
  return TRef<T>(new T(std::forward<Args>(args)...));
}

// The interface query of the object model: another interface of the same object, or null.
template <class To, class From>
TRef<To> RefCast(const TRef<From>& from) noexcept {
  return TRef<To>(dynamic_cast<To*>(from.get()));
}

}  // namespace tardivox
