// What the DAO tests share: a holder for one reference, VARIANT arguments made
// the way the system makes them, and the last error read from DBEngine.Errors.
#pragma once

#include "platform/dao/access/access_driver.h"
#include "platform/dao/dao_class_registry.h"
#include "platform/dao/excel/excel_driver.h"
#include "platform/dao/dao_interfaces.h"
#include "platform/dao/owned_variant.h"

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
using arg = owned::variant;
using owned::boolean;
using owned::date;
using owned::i2;
using owned::i4;
using owned::r8;
using owned::text;
using owned::ui2;

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

// A DBEngine with both drivers registered.
inline void make_engine(ref<DAODBEngine>& engine)
{
  plat::dao::register_excel_driver();
  plat::dao::register_access_driver();
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
