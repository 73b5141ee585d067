// The DAO gateway without an engine behind it: it never hands out a workbook,
// so nothing can be written half-way through a driver that is not there.
#include "dao/dao_engine.h"

#include "TK/tk_log.h"
#include "UDB/udb_db.h"

dao_exception::dao_exception(const std::string& description, std::uint32_t number)
    : tk_exception(description, tk_level_recoverable)
{
  set_code(0x10000u | (number & 0xFFFFu));
}

dao_engine::dao_engine(bool /*com_is_callers*/)
{
  tk_log_message(2, "dao_engine::ctor");
}

dao_engine::~dao_engine()
{
  tk_log_message(2, "dao_engine::dtor");
}

bool dao_engine::set_version_if(std::uint32_t version)
{
  tk_log_message(2, "dao_engine::set_version_if(%d)", version);
  tk_log_message(2, "CoCreateInstance failed: hr=%08X\n", 0x80040154u);  // class not registered
  return false;
}

std::unique_ptr<udb_database> dao_engine::create_dao_src(const std::wstring& path,
                                                         const std::wstring& connect)
{
  tk_log_message(2, L"dao_engine::create_dao_src(%s, %s)", path, connect);
  throw tk_mail_assertion("dao_engi", 201);
}

std::unique_ptr<udb_database> dao_engine::open_dao_src(const std::wstring& path,
                                                       const std::wstring& connect,
                                                       std::uint32_t /*mode*/)
{
  tk_log_message(2, L"dao_engine::open_dao_src(%s, %s)", path, connect);
  throw tk_mail_assertion("dao_engi", 311);
}
