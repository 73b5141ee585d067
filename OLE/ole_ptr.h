// Holds one reference to a reference-counted interface and releases it when the
// holder goes away, so that an exception between two interface calls never leaks
// the interface. Calling through an empty holder is an internal error.
#pragma once

#include "TK/tk_exception.h"
#include "TK/tk_log.h"

#include <utility>

template <class T>
class ole_com_ptr {
public:
  ole_com_ptr() = default;
  // Takes its own reference: the caller keeps the one it has.
  explicit ole_com_ptr(T* p) : p_(p)
  {
    if (p_ != nullptr)
      p_->AddRef();
  }
  ole_com_ptr(const ole_com_ptr& other) : ole_com_ptr(other.p_) {}
  ole_com_ptr(ole_com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ole_com_ptr& operator=(ole_com_ptr other) noexcept
  {
    std::swap(p_, other.p_);
    return *this;
  }
  virtual ~ole_com_ptr() { release(); }

  T* operator->() const
  {
    if (p_ == nullptr)
      throw tk_mail_assertion("ole_ptr", 94);
    return p_;
  }
  T* get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // The address an out-parameter writes a new, already counted reference to;
  // whatever the holder had is released first.
  T** put()
  {
    release();
    return &p_;
  }

  void release() noexcept
  {
    if (p_ == nullptr)
      return;
    const auto left = std::exchange(p_, nullptr)->Release();
    tk_log_message(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", left);
  }

private:
  T* p_ = nullptr;
};
