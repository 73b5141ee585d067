// The DBEngine: the one entry to the engine, which opens workbooks through the
// Excel driver. Every object it makes records its failures in the engine's own
// error list, so DBEngine.Errors(0) tells the last failure of any of them.
#include "platform/dao/db_model.h"

#include "platform/text_codec.h"

#include <cwctype>

namespace plat::dao {

namespace {

// The workbook format a connect string names ("Excel 5.0;", "Excel 8.0;",
// its options after the ';' not examined). An Access database (an empty
// driver part, as in "" or ";pwd=...") or any other driver: 3170.
biff_version workbook_version(std::wstring_view connect)
{
  std::wstring_view driver = connect.substr(0, connect.find(L';'));
  while (!driver.empty() && std::iswspace(static_cast<wint_t>(driver.front())))
    driver.remove_prefix(1);
  while (!driver.empty() && std::iswspace(static_cast<wint_t>(driver.back())))
    driver.remove_suffix(1);
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
      bool_arg(options, false);  // exclusive or not, a workbook is locked while open
      const bool only_read = bool_arg(read_only, false);
      const biff_version version = workbook_version(text_arg(connect));
      std::wstring path = text_of(name);
      if (path.empty())
        raise(err_invalid_argument);
      auto book = std::make_unique<excel_workbook>(to_utf8(path), version);
      auto owner = std::make_shared<session>(errors_, std::move(path), std::move(book), only_read);
      *database = make_workbook_database(std::move(owner)).detach();
    });
  }
  HRESULT CreateDatabase(BSTR /*name*/, BSTR /*locale*/, VARIANT /*option*/, DAODatabase** database) override
  {
    return guarded(*errors_, [&] {
      out_ptr(database);
      raise(err_no_access_driver);
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
