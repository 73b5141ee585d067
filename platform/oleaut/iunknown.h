// The root interface of reference-counted objects handed between layers, and a
// base that implements it. An object lives while it holds references: the last
// Release deletes it through its virtual destructor.
#pragma once

#include "platform/oleaut/hresult.h"
#include "platform/win_types.h"

#include <atomic>

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using REFIID = const IID&;

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
  // On success `object` holds a new reference; otherwise null and E_NOINTERFACE.
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  // Both return the new count.
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

protected:
  IUnknown() = default;
  IUnknown(const IUnknown&) = default;
  IUnknown& operator=(const IUnknown&) = default;
  virtual ~IUnknown() = default;
};

namespace plat {

// Implements IUnknown for `Interface` (IUnknown or an interface derived from
// it, which may name its own `static constexpr IID iid`). A new object holds
// one reference, its creator's; objects are never copied.
template <class Interface = IUnknown>
class com_object : public Interface {
public:
  com_object(const com_object&) = delete;
  com_object& operator=(const com_object&) = delete;

  HRESULT QueryInterface(REFIID wanted, void** object) override
  {
    if (object == nullptr)
      return E_POINTER;
    if (wanted == IID_IUnknown || answers(wanted)) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }

  ULONG Release() override
  {
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
      delete this;
    return left;
  }

protected:
  com_object() = default;
  ~com_object() override = default;

private:
  static bool answers(REFIID wanted)
  {
    if constexpr (requires { Interface::iid; })
      return wanted == Interface::iid;
    else
      return false;
  }

  std::atomic<ULONG> references_{1};
};

} // namespace plat
