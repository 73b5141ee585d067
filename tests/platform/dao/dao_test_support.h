// What the DAO tests share: a holder for one reference, VARIANT arguments made
// the way the system makes them, and the last error read from DBEngine.Errors.
#pragma once

#include "platform/dao/dao_class_registry.h"
#include "platform/dao/dao_interfaces.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace dao_test {

// One reference to an interface, released with the holder.
template <class T>
class ref {
public:
  ref() = default;
  ref(const ref&) = delete;
  ref& operator=(const ref&) = delete;
  ~ref()
  {
    if (p_ != nullptr)
      p_->Release();
  }
  T** put()
  {
    if (p_ != nullptr)
      p_->Release();
    p_ = nullptr;
    return &p_;
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

private:
  T* p_ = nullptr;
};

// A VARIANT argument the test owns.
class arg {
public:
  arg() = default;
  arg(arg&& other) noexcept : v(std::exchange(other.v, VARIANT{})) {}
  arg(const arg&) = delete;
  arg& operator=(const arg&) = delete;
  ~arg() { VariantClear(&v); }
  operator VARIANT() const { return v; }

  VARIANT v;
};

inline arg text(const std::wstring& value)
{
  arg a;
  a.v.vt = VT_BSTR;
  a.v.bstrVal = SysAllocStringLen(value.data(), static_cast<unsigned int>(value.size()));
  return a;
}
inline arg i2(short value)
{
  arg a;
  a.v.vt = VT_I2;
  a.v.iVal = value;
  return a;
}
inline arg ui2(unsigned short value)
{
  arg a;
  a.v.vt = VT_UI2;
  a.v.uiVal = value;
  return a;
}
inline arg i4(LONG value)
{
  arg a;
  a.v.vt = VT_I4;
  a.v.lVal = value;
  return a;
}
inline arg boolean(bool value)
{
  arg a;
  a.v.vt = VT_BOOL;
  a.v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return a;
}
inline arg date(double value)
{
  arg a;
  a.v.vt = VT_DATE;
  a.v.date = value;
  return a;
}
inline arg r8(double value)
{
  arg a;
  a.v.vt = VT_R8;
  a.v.dblVal = value;
  return a;
}

// A BSTR the test owns, for the members that take one.
class bstr {
public:
  explicit bstr(const std::wstring& value)
      : b_(SysAllocStringLen(value.data(), static_cast<unsigned int>(value.size())))
  {
  }
  bstr(const bstr&) = delete;
  bstr& operator=(const bstr&) = delete;
  ~bstr() { SysFreeString(b_); }
  operator BSTR() const { return b_; }

private:
  BSTR b_;
};

// Takes a BSTR out-value and frees it.
inline std::wstring take(BSTR value)
{
  std::wstring text(value == nullptr ? L"" : value, SysStringLen(value));
  SysFreeString(value);
  return text;
}

inline void make_engine(ref<DAODBEngine>& engine)
{
  ASSERT_EQ(CoCreateInstance(plat::dao::clsid_dbengine_36, nullptr, CLSCTX_ALL, DAODBEngine::iid,
                             reinterpret_cast<void**>(engine.put())),
            S_OK);
  ASSERT_TRUE(engine);
}

struct dao_failure {
  LONG number = 0;
  std::wstring description;
};

// DBEngine.Errors(0), read the way the system reads it.
inline dao_failure last_error(DAODBEngine* engine)
{
  dao_failure failure;
  ref<DAOErrors> errors;
  ref<DAOError> error;
  if (FAILED(engine->get_Errors(errors.put())) || FAILED(errors->get_Item(i4(0), error.put())))
    return failure;
  BSTR description = nullptr;
  EXPECT_EQ(error->get_Description(&description), S_OK);
  failure.description = take(description);
  EXPECT_EQ(error->get_Number(&failure.number), S_OK);
  return failure;
}

} // namespace dao_test
