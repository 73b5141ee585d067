// The DAO error as the engine reports it. It is built on the converting thread,
// right after the failing call, before another call can replace Errors(0).
#include "dao/dao_exception.h"

#include "OLE/ole_ptr.h"
#include "TK/tk_log.h"
#include "dao/dao_bstr.h"
#include "dao/dao_engine.h"
#include "platform/dao/dao_interfaces.h"
#include "platform/text_codec.h"

namespace {

std::uint32_t dao_code(std::int32_t number)
{
  return 0x10000u | (static_cast<std::uint32_t>(number) & 0xFFFFu);
}

[[noreturn]] void unreadable(int step)
{
  tk_log_message(1, "Failed on step #%d", step);
  throw tk_exception(tk_level_error);
}

} // namespace

dao_exception::dao_exception() : tk_exception(tk_level_recoverable)
{
  tk_log_message(2, "dao_exception::dao_exception");
  DAODBEngine* engine = dao_engine::instance().get_dbengine();
  ole_com_ptr<DAOErrors> errors;
  if (engine == nullptr || FAILED(engine->get_Errors(errors.put())) || !errors)
    unreadable(1);
  ole_com_ptr<DAOError> error;
  VARIANT first;
  first.vt = VT_I4;
  first.lVal = 0;
  if (FAILED(errors->get_Item(first, error.put())) || !error)
    unreadable(2);
  dao_bstr description;
  if (FAILED(error->get_Description(description.address())))
    unreadable(3);
  set_message(plat::to_utf8(description.to_wstring()));
  tk_log_message(2, "Got error: %s", get_message());
  LONG number = 0;
  if (FAILED(error->get_Number(&number)))
    unreadable(4);
  set_code(dao_code(number));
  tk_log_message(2, "Got error code: %08X", get_code());
}

dao_exception::dao_exception(const std::string& description, std::int32_t number)
    : tk_exception(tk_level_recoverable)
{
  set_message(description);
  set_code(dao_code(number));
}

bool dao_exception::is_write_failure() const noexcept
{
  constexpr std::int32_t disk_full = 3026, disk_error = 3043;
  return get_code() == dao_code(disk_full) || get_code() == dao_code(disk_error);
}
