// The DBEngine: the one entry to the engine, which opens workbooks through the
// Excel driver. Every object it makes records its failures in the engine's own
// error list, so DBEngine.Errors(0) tells the last failure of any of them.
#include "platform/dao/access_store.h"
#include "platform/dao/db_model.h"

#include "platform/text_codec.h"

#include <cwctype>

namespace plat::dao {

namespace {

// The driver part of a connect string: what comes before its first ';',
// without blanks around it. Empty for an Access database ("" or ";pwd=...").
std::wstring_view driver_of(std::wstring_view connect)
{
  std::wstring_view driver = connect.substr(0, connect.find(L';'));
  while (!driver.empty() && std::iswspace(static_cast<wint_t>(driver.front())))
    driver.remove_prefix(1);
  while (!driver.empty() && std::iswspace(static_cast<wint_t>(driver.back())))
    driver.remove_suffix(1);
  return driver;
}

// The workbook format a driver names ("Excel 5.0", "Excel 8.0"); any other
// driver: 3170.
biff_version workbook_version(std::wstring_view driver)
{
  if (equal_no_case(driver, L"Excel 5.0"))
    return biff_version::biff5;
  if (equal_no_case(driver, L"Excel 8.0"))
    return biff_version::biff8;
  raise(err_no_isam);
}

class dbengine_object final : public com_object<DAODBEngine> {
public:
  HRESULT get_Errors(DAOErrors** errors) override
  {
    return guarded(*errors_, [&] { *out_ptr(errors) = make_errors(errors_).detach(); });
  }
  HRESULT OpenDatabase(BSTR name, VARIANT options, VARIANT read_only, VARIANT connect,
                       DAODatabase** database) override
  {
    return guarded(*errors_, [&] {
      out_ptr(database);
      const bool exclusive = bool_arg(options, false);  // a workbook is locked while open either way
      const bool only_read = bool_arg(read_only, false);
      const std::wstring connection = text_arg(connect);
      std::wstring path = text_of(name);
      if (path.empty())
        raise(err_invalid_argument);
      const std::wstring_view driver = driver_of(connection);
      if (driver.empty()) {
        *database = open_access_database(errors_, path, connection, exclusive, only_read).detach();
        return;
      }
      const biff_version version = workbook_version(driver);
      auto book = std::make_unique<excel_workbook>(to_utf8(path), version);
      auto owner = std::make_shared<session>(errors_, std::move(path), std::move(book), only_read);
      *database = make_workbook_database(std::move(owner)).detach();
    });
  }
  // Always an Access database; `option` (the Jet version and encryption) is
  // not examined, as the store has one format.
  HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT /*option*/, DAODatabase** database) override
  {
    return guarded(*errors_, [&] {
      out_ptr(database);
      const std::wstring path = text_of(name);
      if (path.empty())
        raise(err_invalid_argument);
      *database = create_access_database(errors_, path, text_of(locale)).detach();
    });
  }

private:
  std::shared_ptr<error_state> errors_ = std::make_shared<error_state>();
};

} // namespace

HRESULT create_dbengine(REFIID iid, void** object)
{
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  try {
    const auto engine = make_com<dbengine_object>();
    return engine->QueryInterface(iid, object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

} // namespace plat::dao
