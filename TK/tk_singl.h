// Process-wide objects: the first constructed T registers itself and is reachable
// from anywhere through tk_singleton<T>::instance() until it is destroyed.
#pragma once

#include "TK/tk_exception.h"

template <class T>
class tk_singleton {
public:
  tk_singleton()
  {
    if (slot_ == nullptr)
      slot_ = static_cast<T*>(this);
  }
  // Only the registered object empties the slot: destroying a second, never
  // registered object must not make the live one unreachable.
  virtual ~tk_singleton()
  {
    if (slot_ == static_cast<T*>(this))
      slot_ = nullptr;
  }
  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

  static T& instance()
  {
    if (slot_ == nullptr)
      throw tk_mail_assertion("tk_singl", 64);
    return *slot_;
  }
  static T* ptr()
  {
    if (slot_ == nullptr)
      throw tk_mail_assertion("tk_singl", 71);
    return slot_;
  }
  static bool exists() noexcept { return slot_ != nullptr; }

private:
  static inline T* slot_ = nullptr;
};
