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
      slot_ = this;
  }
  // Only the registered object empties the slot: destroying a second, never
  // registered object must not make the live one unreachable.
  virtual ~tk_singleton()
  {
    if (slot_ == this)
      slot_ = nullptr;
  }
  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

  static T& instance()
  {
    if (slot_ == nullptr)
      throw tk_mail_assertion("tk_singl", 64);
    return *static_cast<T*>(slot_);
  }
  static T* ptr()
  {
    if (slot_ == nullptr)
      throw tk_mail_assertion("tk_singl", 71);
    return static_cast<T*>(slot_);
  }
  static bool exists() noexcept { return slot_ != nullptr; }

private:
  // The base part is registered: the T around it is not yet (or no longer) alive
  // while the constructor (or destructor) runs, so it is reached only through the
  // accessors.
  static inline tk_singleton* slot_ = nullptr;
};
