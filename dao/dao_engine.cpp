// The DAO engine: one DBEngine at a time, made from the descriptor table by
// version code; databases it opens each hold their own reference to their DAO
// database, so they may outlive a later set_version_if.
#include "dao/dao_engine.h"

#include "TK/tk_log.h"
#include "dao/dao_args.h"
#include "dao/dao_bstr.h"
#include "platform/dao/dao_class_registry.h"
#include "platform/dao/excel/excel_driver.h"
#include "base/format.h"
#include "platform/text_codec.h"

#include <array>
#include <cstdio>

namespace {

struct dao_engine_descriptor {
  std::uint32_t version;
  CLSID clsid;
  IID iid;
};

// Searched from the first row; the first row with the code wins. Codes 2 and 1
// share DAO 3.5, code 0 is DAO 3.6 (0100 in the third group), 3 is ACE.
constexpr std::array<dao_engine_descriptor, 4> dao_engine_descriptors = {{
    {2, plat::dao::clsid_dbengine_35, DAODBEngine::iid},
    {1, plat::dao::clsid_dbengine_35, DAODBEngine::iid},
    {0, plat::dao::clsid_dbengine_36, DAODBEngine::iid},
    {3, plat::dao::clsid_dbengine_120, DAODBEngine::iid},
}};

} // namespace

dao_generator::dao_generator()
{
  tk_log_message(2, "dao_generator::ctor");
}

dao_generator::~dao_generator()
{
  tk_log_message(2, "dao_generator::dtor");
  if (generated) {
    std::remove((path + ".ldb").c_str());
    std::remove(path.c_str());
  }
}

dao_engine::dao_engine(bool com_is_callers) : com_is_callers_(com_is_callers)
{
  tk_log_message(2, "dao_engine::ctor");
  // The conversion writes workbooks only; the Access-database driver is left
  // to what registers it.
  plat::dao::register_excel_driver();
  if (!com_is_callers_ && FAILED(CoInitialize(nullptr)))
    throw tk_exception(std::string("COM cannot be initialised for the DAO engine"), tk_level_error);
}

dao_engine::~dao_engine()
{
  tk_log_message(2, "dao_engine::dtor");
  if (!com_is_callers_)
    CoUninitialize();
}

void dao_engine::uninitialize()
{
  tk_log_message(2, "dao_engine::uninitialize");
  dbengine_.release();
  version_ = no_version;
}

bool dao_engine::set_version_if(std::uint32_t version)
{
  tk_log_message(2, "dao_engine::set_version_if(%d)", version);
  if (version_ != no_version)
    uninitialize();
  const dao_engine_descriptor* row = nullptr;
  for (const dao_engine_descriptor& d : dao_engine_descriptors)
    if (d.version == version) {
      row = &d;
      break;
    }
  if (row == nullptr)
    throw tk_mail_assertion("dao_engi", 441);
  const HRESULT hr = CoCreateInstance(row->clsid, nullptr, CLSCTX_ALL, row->iid,
                                      reinterpret_cast<void**>(dbengine_.put()));
  if (FAILED(hr) || !dbengine_) {
    tk_log_message(2, "CoCreateInstance failed: hr=%08X\n", static_cast<std::uint32_t>(hr));
    dbengine_.release();
    return false;
  }
  tk_log_message(2, "CoCreateInstance succeeded!");
  version_ = row->version;
  return true;
}

void dao_engine::require_engine(int no_version_line, int no_engine_line) const
{
  if (version_ == no_version)
    throw tk_mail_assertion("dao_engi", no_version_line);
  if (!dbengine_)
    throw tk_mail_assertion("dao_engi", no_engine_line);
}

std::unique_ptr<dao_database> dao_engine::open(const std::wstring& path, const std::wstring& connect,
                                               std::uint32_t mode, std::uint32_t database_mode)
{
  const dao_bstr name(path);
  const dao_bstr connect_text(connect);
  ole_com_ptr<DAODatabase> database;
  dao_check(dbengine_->OpenDatabase(name, dao_bool_arg((mode & 0x10) != 0), dao_bool_arg((mode & 0x01) != 0),
                                    dao_text_arg(connect_text), database.put()));
  dao_require(database.get());
  return std::make_unique<dao_database>(path, database.get(), database_mode);
}

std::unique_ptr<dao_database> dao_engine::create_dao_src(const std::wstring& path, const std::wstring& connect)
{
  tk_log_message(2, L"dao_engine::create_dao_src(%s, %s)", path, connect);
  require_engine(201, 204);
  return open(path, connect, 0, 114);
}

std::unique_ptr<dao_database> dao_engine::open_dao_src(const std::wstring& path, const std::wstring& connect,
                                                       std::uint32_t mode)
{
  tk_log_message(2, L"dao_engine::open_dao_src(%s, %s)", path, connect);
  require_engine(311, 314);
  return open(path, connect, mode, mode | 32);
}

std::unique_ptr<udb_database> dao_engine::create_db(const std::wstring& name)
{
  tk_log_message(2, L"dao_engine::create_db (%s)", name);
  tk_log_message(3, L"Creating MS Access database '%s'", name);
  require_engine(163, 166);
  const dao_bstr file(name);
  const dao_bstr locale(std::wstring(L";LANGID=0x0409;CP=1252;COUNTRY=0"));
  VARIANT option;
  option.vt = VT_I4;
  option.lVal = 0;
  ole_com_ptr<DAODatabase> database;
  const HRESULT hr = dbengine_->CreateDatabase(file, locale, option, database.put());
  tk_log_message(2, "CreateDatabase returns %08X", static_cast<std::uint32_t>(hr));
  if (hr == plat::dao::dao_hresult(3633))
    throw tk_exception(base::sprintf("Failed to load Data Access Objects (DAO) support library.\n"
                                     "%s installation is required to proceed\nwith the application.\n",
                                     version_ == 0 ? "Microsoft Access 2000" : "Microsoft Access 95/97"),
                       tk_level_error);
  dao_check(hr);
  dao_require(database.get());
  return std::make_unique<dao_database>(name, database.get(), 114);
}

std::unique_ptr<udb_database> dao_engine::open_db(const std::wstring& name, std::uint32_t mode,
                                                  const std::wstring& password)
{
  tk_log_message(2, L"dao_engine::open_db(%s, mode=%d)", name, mode);
  tk_log_message(3, L"Opening MS Access database '%s'", name);
  require_engine(239, 242);
  const std::wstring connect = password.empty() ? std::wstring() : L";pwd=" + password;
  tk_log_message(2, "Open database using DAO engine");
  auto database = open(name, connect, mode, mode);
  tk_log_message(2, "Right after OpenDatabase call");
  return database;
}
