// The engine's versions, its guards before a DBEngine exists, the open modes
// and Access databases created through the engine.
#include "dao_layer_support.h"

#include "UDB/udb_recs.h"
#include "platform/dao/dao_class_registry.h"
#include "platform/dao/dao_model.h"

#include <filesystem>

using namespace dao_layer_test;

namespace {

// Takes a DBEngine class out of the class store while it lives.
class missing_class {
public:
  explicit missing_class(const CLSID& clsid) : clsid_(clsid) { plat::dao::unregister_class(clsid_); }
  ~missing_class() { plat::dao::register_class(clsid_, plat::dao::create_dbengine); }
  missing_class(const missing_class&) = delete;
  missing_class& operator=(const missing_class&) = delete;

private:
  CLSID clsid_;
};

std::uint32_t internal_error_of(const std::function<void()>& f)
{
  try {
    f();
  } catch (const tk_mail_assertion& e) {
    return e.get_level();
  } catch (const std::exception&) {
    return 99;
  }
  return 0;
}

} // namespace

TEST(DaoEngine, VersionCodesPickTheirClassAndUnknownCodesAreInternalErrors)
{
  dao_engine engine(false);
  const struct {
    std::uint32_t version;
    const CLSID* clsid;  // null: no such row
  } cases[] = {
      {0, &plat::dao::clsid_dbengine_36}, {1, &plat::dao::clsid_dbengine_35}, {2, &plat::dao::clsid_dbengine_35},
      {3, &plat::dao::clsid_dbengine_120}, {4, nullptr}, {7, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    if (c.clsid == nullptr) {
      EXPECT_EQ(internal_error_of([&] { engine.set_version_if(c.version); }), 2u);
      EXPECT_EQ(engine.get_version(), dao_engine::no_version);
      continue;
    }
    ASSERT_TRUE(engine.set_version_if(c.version));
    EXPECT_EQ(engine.get_version(), c.version);
    EXPECT_NE(engine.get_dbengine(), nullptr);
    // Only the row's class serves the code.
    const missing_class gone(*c.clsid);
    EXPECT_FALSE(engine.set_version_if(c.version));
    EXPECT_EQ(engine.get_version(), dao_engine::no_version);
    EXPECT_EQ(engine.get_dbengine(), nullptr);
  }
}

TEST(DaoEngine, OpeningWithoutADbEngineIsAnInternalError)
{
  dao_engine engine(false);
  temp_dir dir;
  const std::wstring path = wide(dir.file("never.xls"));
  const auto every_opening = [&] {
    EXPECT_EQ(internal_error_of([&] { engine.create_dao_src(path, L"Excel 8.0;"); }), 2u);
    EXPECT_EQ(internal_error_of([&] { engine.open_dao_src(path, L"Excel 8.0;", 8); }), 2u);
    EXPECT_EQ(internal_error_of([&] { engine.create_db(path); }), 2u);
    EXPECT_EQ(internal_error_of([&] { engine.open_db(path, 0, L""); }), 2u);
  };
  every_opening();
  ASSERT_TRUE(engine.set_version_if(0));
  {
    const missing_class gone(plat::dao::clsid_dbengine_36);
    EXPECT_FALSE(engine.set_version_if(0));
  }
  every_opening();
  EXPECT_FALSE(std::filesystem::exists(dir.file("never.xls")));
}

TEST(DaoEngine, OpenModesReachTheDatabaseAndTheDriver)
{
  dao_engine engine(false);
  ASSERT_TRUE(engine.set_version_if(0));
  temp_dir dir;
  const std::wstring path = wide(dir.file("modes.xls"));
  {
    auto base = engine.create_dao_src(path, L"Excel 8.0;");
    base->create_table(L"t", schema_of({{L"n", VT_I4}}), udb_indexes()).reset();
    base->close();
  }
  // Exclusive and read-only: the database gets 49 and refuses a new table.
  auto read_only = engine.open_dao_src(path, L"Excel 8.0;", 17);
  EXPECT_EQ(read_only->get_mode(), 49u);
  EXPECT_EQ(internal_error_of([&] { read_only->create_table(L"u", schema_of({{L"n", VT_I4}}), udb_indexes()); }),
            2u);
  read_only.reset();

  // A driver the engine does not have is DAO's refusal, with DAO's words.
  try {
    engine.open_dao_src(path, L"Paradox 3.X;", 8);
    ADD_FAILURE() << "an unknown driver opened the file";
  } catch (const dao_exception& e) {
    EXPECT_EQ(e.get_code(), 0x10000u | 3170u);
    EXPECT_FALSE(e.get_message().empty());
  }
}

TEST(DaoEngine, AccessDatabasesAreCreatedAndAMissingOneIsDaosRefusal)
{
  for (const std::uint32_t version : {0u, 2u}) {
    dao_engine engine(false);
    ASSERT_TRUE(engine.set_version_if(version));
    temp_dir dir;
    EXPECT_NE(engine.create_db(wide(dir.file("new.mdb"))), nullptr);
    EXPECT_TRUE(std::filesystem::exists(dir.file("new.mdb")));
    EXPECT_THROW(engine.open_db(wide(dir.file("old.mdb")), 0, L"secret"), dao_exception);
  }
}

TEST(DaoEngine, ErrorNumbersKeepTheirLowSixteenBitsUnderTheDaoMark)
{
  const struct {
    std::int32_t number;
    std::uint32_t code;
  } cases[] = {{3022, 0x10BCE}, {0x12345, 0x12345}, {3349, 0x10D15}};
  for (const auto& c : cases)
    EXPECT_EQ(dao_exception("text", c.number).get_code(), c.code) << c.number;
  EXPECT_EQ(dao_exception("", 3000).get_message(), "");
}
