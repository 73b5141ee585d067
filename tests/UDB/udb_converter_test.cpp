// The generic settings between a converter and a profile: what each key means on
// loading, the exact file a stored converter gives, and that a converter stored
// and loaded again has the same settings.
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "UDB/udb_converter.h"
#include "support/temp_dir.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace {

using pairs = std::vector<udb_converter::name_text>;

udb_profile profile_from(const std::string& bytes)
{
  temp_dir dir;
  write_file(dir.file("p.qvt"), bytes);
  udb_profile profile;
  EXPECT_TRUE(profile.load(wide(dir.file("p.qvt"))));
  return profile;
}

TEST(UdbConverter, AProfileFileGivesSourceTablesAndQueries)
{
  udb_converter converter;
  ASSERT_TRUE(converter.load_profile(profile_from("[Generic settings]\r\n"
                                                  "src=shop\r\n"
                                                  "[Selected Tables]\r\n"
                                                  "orders\r\n"
                                                  "top=SELECT * FROM t\r\n")));
  EXPECT_EQ(converter.source, L"shop");
  EXPECT_EQ(converter.destination, L"");
  EXPECT_EQ(converter.selected_queries, (pairs{{L"orders", L""}, {L"top", L"SELECT * FROM t"}}));
}

TEST(UdbConverter, AStoredConverterGivesExactlyThisFile)
{
  udb_converter converter;
  converter.source = L"shop";
  converter.destination = L"/tmp/shop.xlsx";
  converter.selected_queries = {{L"orders", L""}, {L"top", L"SELECT *\r\nFROM t"}};
  udb_profile profile;
  ASSERT_TRUE(converter.store_profile(profile));
  temp_dir dir;
  ASSERT_TRUE(profile.store(wide(dir.file("p.qvt"))));
  EXPECT_EQ(read_file(dir.file("p.qvt")), "[Available Queries]\r\n"
                                          "\r\n"
                                          "[Generic settings]\r\n"
                                          "src=shop\r\n"
                                          "dest=/tmp/shop.xlsx\r\n"
                                          "logfile=\r\n"
                                          "skip indexes=0\r\n"
                                          "only definitions=0\r\n"
                                          "mode=0\r\n"
                                          "\r\n"
                                          "[Selected Tables]\r\n"
                                          "orders\r\n"
                                          "top=SELECT * FROM t\r\n"
                                          "\r\n"
                                          "[Selected Views]\r\n"
                                          "\r\n");
  EXPECT_EQ(converter.selected_queries[1].second, L"SELECT *\r\nFROM t") << "the converter keeps its own text";
}

TEST(UdbConverter, GenericSettingsChangeOnlyWhenGivenAValue)
{
  const struct {
    std::optional<std::wstring> value;  // none: the key is missing
    bool flag;                          // from true
    std::uint32_t mode;                 // from 4
  } cases[] = {
    {L"0", false, 0},
    {L"1", true, 1},
    {L"yes", true, 4},
    {L"", true, 4},
    {std::nullopt, true, 4},
    {L"A", true, 17},
    {L"12", true, 4},
  };
  for (const auto& c : cases) {
    udb_profile profile;
    if (c.value) {
      for (const wchar_t* key : {L"src", L"dest", L"skip indexes", L"only definitions", L"mode"})
        profile.set_value(L"Generic settings", key, *c.value);
    }
    udb_converter converter;
    converter.source = L"kept";
    converter.destination = L"kept";
    converter.skip_indexes = converter.only_definitions = true;
    converter.mode = 4;
    converter.load_profile(profile);
    const std::wstring expected_text = c.value && !c.value->empty() ? *c.value : L"kept";
    EXPECT_EQ(converter.source, expected_text);
    EXPECT_EQ(converter.destination, expected_text);
    EXPECT_EQ(converter.skip_indexes, c.flag);
    EXPECT_EQ(converter.only_definitions, c.flag);
    EXPECT_EQ(converter.mode, c.mode);
  }
}

TEST(UdbConverter, LoadingAppendsToTheLists)
{
  const udb_profile profile = profile_from("[Selected Tables]\r\n"
                                           "orders\r\n"
                                           "[Selected Views]\r\n"
                                           "v=SELECT 1\r\n"
                                           "[Available Queries]\r\n"
                                           "q=SELECT 2\r\n");
  udb_converter converter;
  converter.selected_queries = {{L"mine", L"SELECT 0"}};
  converter.load_profile(profile);
  converter.load_profile(profile);
  EXPECT_EQ(converter.selected_queries, (pairs{{L"mine", L"SELECT 0"}, {L"orders", L""}, {L"orders", L""}}));
  EXPECT_EQ(converter.selected_views, (pairs{{L"v", L"SELECT 1"}, {L"v", L"SELECT 1"}}));
  EXPECT_EQ(converter.available_queries, (pairs{{L"q", L"SELECT 2"}, {L"q", L"SELECT 2"}}));
}

TEST(UdbConverter, ABadLogPathFailsTheLoadAfterSourceAndDestination)
{
  temp_dir dir;
  tk_logger logger(dir.file("default.log").c_str(), false, 1, false);
  udb_profile profile;
  profile.set_value(L"Generic settings", L"src", L"shop");
  profile.set_value(L"Generic settings", L"dest", L"/tmp/shop.xlsx");
  profile.set_value(L"Generic settings", L"logfile", wide(dir.path().string()));
  profile.set_value(L"Generic settings", L"mode", L"5");
  udb_converter converter;
  try {
    converter.load_profile(profile);
    ADD_FAILURE() << "a folder was accepted as the log file";
  } catch (const tk_exception& e) {
    EXPECT_STREQ(e.what(), "Logfile name specifies an existing path.");
    EXPECT_EQ(e.get_level(), 1u);
  }
  EXPECT_EQ(converter.source, L"shop");
  EXPECT_EQ(converter.destination, L"/tmp/shop.xlsx");
  EXPECT_EQ(converter.log_file, dir.path().string());
  EXPECT_EQ(converter.mode, 0u) << "read after the log file";
  EXPECT_FALSE(logger.is_enabled());
}

TEST(UdbConverter, AConverterStoredAndLoadedKeepsItsSettings)
{
  temp_dir dir;
  tk_logger logger(dir.file("default.log").c_str(), false, 1, false);
  const std::wstring long_select = L"SELECT " + std::wstring(40000, L'y') + L" FROM t";
  udb_converter saved;
  saved.source = L"l\u00e4den";
  saved.destination = L"/tmp/\u00e4 \U0001F600.xlsx";
  saved.set_logfile(dir.file("run \xC3\xA4.log"));
  saved.selected_queries = {{L"orders", L""}, {L"big", long_select}, {L"[x]", L""}};
  saved.selected_views = {{L"v", L"SELECT 1"}};
  saved.available_queries = {{L"q", L"SELECT 2"}, {L"r", L"SELECT 3"}};
  saved.skip_indexes = true;
  saved.only_definitions = true;
  saved.mode = 7;

  udb_profile stored;
  ASSERT_TRUE(saved.store_profile(stored));
  ASSERT_TRUE(stored.store(wide(dir.file("first.qvt"))));
  udb_profile read;
  ASSERT_TRUE(read.load(wide(dir.file("first.qvt"))));
  udb_converter loaded;
  ASSERT_TRUE(loaded.load_profile(read));

  EXPECT_EQ(loaded.source, saved.source);
  EXPECT_EQ(loaded.destination, saved.destination);
  EXPECT_EQ(loaded.log_file, saved.log_file);
  EXPECT_TRUE(loaded.selected_queries == saved.selected_queries);
  EXPECT_EQ(loaded.selected_views, saved.selected_views);
  EXPECT_EQ(loaded.available_queries, saved.available_queries);
  EXPECT_TRUE(loaded.skip_indexes);
  EXPECT_TRUE(loaded.only_definitions);
  EXPECT_EQ(loaded.mode, 7u);

  udb_profile again;
  ASSERT_TRUE(loaded.store_profile(again));
  ASSERT_TRUE(again.store(wide(dir.file("second.qvt"))));
  EXPECT_TRUE(read_file(dir.file("second.qvt")) == read_file(dir.file("first.qvt")));
}

} // namespace
