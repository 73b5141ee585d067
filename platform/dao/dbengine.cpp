// The DBEngine: the one entry to the engine, which opens workbooks and Access
// databases through the drivers registered for them. Every object it makes
// records its failures in the engine's own error list, so DBEngine.Errors(0)
// tells the last failure of any of them.
#include "platform/dao/dao_drivers.h"
#include "platform/dao/dao_model.h"

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

// The registered drivers; none until a library registers one.
struct driver_table {
  open_workbook_function open_workbook = nullptr;
  open_access_function open_access = nullptr;
  create_access_function create_access = nullptr;
};

driver_table& drivers()
{
  static driver_table table;
  return table;
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
        if (drivers().open_access == nullptr)
          raise(err_no_access_driver);
        *database = drivers().open_access(errors_, path, connection, exclusive, only_read).detach();
        return;
      }
      if (drivers().open_workbook == nullptr)  // as Jet without the format's driver
        raise(err_no_isam);
      *database = drivers().open_workbook(errors_, std::move(path), driver, only_read).detach();
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
      if (drivers().create_access == nullptr)
        raise(err_no_access_driver);
      *database = drivers().create_access(errors_, path, text_of(locale)).detach();
    });
  }

private:
  std::shared_ptr<error_state> errors_ = std::make_shared<error_state>();
};

} // namespace

void install_workbook_driver(open_workbook_function open)
{
  drivers().open_workbook = open;
}

void install_access_driver(open_access_function open, create_access_function create)
{
  drivers().open_access = open;
  drivers().create_access = create;
}

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
