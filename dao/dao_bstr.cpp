// A BSTR held for one DAO call.
#include "dao/dao_bstr.h"

#include "TK/tk_log.h"
#include "platform/text_codec.h"

#include <new>

namespace {

BSTR allocate(const std::wstring& text)
{
  BSTR value = SysAllocStringLen(text.data(), static_cast<unsigned int>(text.size()));
  if (value == nullptr)
    throw std::bad_alloc();
  return value;
}

} // namespace

dao_bstr::dao_bstr(const std::string& text)
{
  tk_log_message(1, "dao_bstr::ctor( string=%s )", text);
  // Only ASCII statements come this way; a stray byte is kept as U+FFFD.
  std::wstring wide;
  plat::utf8_to_wide_lenient(text, wide);
  value_ = allocate(wide);
}

dao_bstr::dao_bstr(const std::wstring& text)
{
  tk_log_message(1, L"dao_bstr::ctor( wstring=%s )", text);
  value_ = allocate(text);
}

dao_bstr::~dao_bstr()
{
  SysFreeString(value_);
}

dao_bstr::operator BSTR() const
{
  tk_log_message(1, "dao_bstr::operator BSTR");
  return value_;
}

BSTR* dao_bstr::address()
{
  SysFreeString(value_);
  value_ = nullptr;
  return &value_;
}

std::wstring dao_bstr::to_wstring() const
{
  return value_ == nullptr ? std::wstring() : std::wstring(value_, SysStringLen(value_));
}
