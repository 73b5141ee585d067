// The converter's settings: the format descriptors, the registry values of the
// wizard, the two profile sections, the connection values and the destination
// checks.
#include "common_test_support.h"

#include "TK/tk_regk.h"
#include "common/xls_engi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace common_test;

namespace {

// Points the per-user configuration at a private folder for one test.
class private_config {
public:
  private_config()
  {
    if (const char* old = std::getenv("XDG_CONFIG_HOME"))
      old_ = old;
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  ~private_config()
  {
    if (old_)
      ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }
  private_config(const private_config&) = delete;
  private_config& operator=(const private_config&) = delete;

  std::string file() const { return dir_.file("Norvale/Tabloom"); }

private:
  temp_dir dir_;
  std::optional<std::string> old_;
};

std::string tk_error_text(const std::function<void()>& f)
{
  try {
    f();
  } catch (const tk_exception& e) {
    return e.what();
  }
  return "no error";
}

} // namespace

TEST(FormatDescriptors, ThreeFormatsWithTheirNamesConnectStringsNotesAndLimits)
{
  EXPECT_EQ(xls_engines[0], nullptr);
  {
    qorvant_converter converter;
    const struct {
      std::wstring name;
      std::wstring connect;
      std::string note;
      std::uint32_t max_rows;
      std::uint32_t data_rows;
      std::uint32_t text_units;
    } formats[] = {
        {L"Excel 5.0", L"Excel 5.0;",
         "Destination spreadsheet will be saved in MS Excel 5.0 format.\nAll strings will be cut to "
         "254 symbols.",
         16383, 16383, 254},
        {L"Excel 2000", L"Excel 8.0;",
         "Destination spreadsheet will be saved in MS Excel 2000 format.\nEach worksheet can "
         "contain not more than 65535 rows.",
         65535, 65535, 32766},
        {L"Excel 2010-2016", L"Excel 12.0;",
         "Destination spreadsheet will be saved in the latest MS Excel format.\nYou will not be "
         "able to open it with earlier versions of MS Excel.",
         1048576, 1048575, 32766},
    };
    for (std::size_t i = 0; i < std::size(formats); ++i) {
      ASSERT_NE(xls_engines[i], nullptr);
      const xls_engine& e = *xls_engines[i];
      EXPECT_EQ(e.name, formats[i].name);
      EXPECT_EQ(e.connect_string, formats[i].connect);
      EXPECT_EQ(e.note, formats[i].note);
      EXPECT_EQ(e.max_rows, formats[i].max_rows);
      EXPECT_EQ(e.max_data_rows, formats[i].data_rows);
      EXPECT_EQ(e.max_text_units, formats[i].text_units);
      EXPECT_FALSE(e.wrap);
    }
    converter.set_wrap_text(true);
    for (const xls_engine* e : xls_engines)
      EXPECT_TRUE(e->wrap);
    // The console converter starts with no format given.
    EXPECT_EQ(converter.format_version, xls_format_not_given);
    EXPECT_EQ(converter.column_limit, 255u);
  }
  EXPECT_EQ(xls_engines[2], nullptr);
}

TEST(RegistrySettings, TheWizardsConverterLoadsDefaultsAndStoresItsSettings)
{
  private_config config;
  {
    qorvant_converter first(qvt_program::gui);
    EXPECT_EQ(first.format_version, 2u);
    EXPECT_TRUE(first.open_on_exit);
    EXPECT_TRUE(first.wrap_text);
    EXPECT_TRUE(xls_engines[0]->wrap);
    EXPECT_EQ(first.port, "3306");
    EXPECT_FALSE(first.blob_to_text);
    EXPECT_FALSE(first.dates_to_strings);
    EXPECT_FALSE(first.split_data);

    first.blob_to_text = true;
    first.dates_to_strings = true;
    first.destination = L"/tmp/d\u00E9st.xls";
    first.format_version = 1;
    first.host = "db.example";
    first.open_on_exit = false;
    first.port = "3307";
    first.password = "s3cret";
    first.profile_folder = L"/srv/pr\u00F6files";
    first.split_data = true;
    first.source = L"sh\u00F6p";
    first.user = "me";
    first.set_wrap_text(false);
  }
  ASSERT_TRUE(std::filesystem::exists(config.file()));
  {
    qorvant_converter second(qvt_program::gui);
    EXPECT_TRUE(second.serialize(false));
    EXPECT_TRUE(second.blob_to_text);
    EXPECT_TRUE(second.dates_to_strings);
    EXPECT_EQ(second.destination, L"/tmp/d\u00E9st.xls");
    EXPECT_EQ(second.format_version, 1u);
    EXPECT_EQ(second.host, "db.example");
    EXPECT_FALSE(second.open_on_exit);
    EXPECT_EQ(second.port, "3307");
    EXPECT_EQ(second.password, "s3cret");
    EXPECT_EQ(second.profile_folder, L"/srv/pr\u00F6files");
    EXPECT_TRUE(second.split_data);
    EXPECT_EQ(second.source, L"sh\u00F6p");
    EXPECT_EQ(second.user, "me");
    EXPECT_FALSE(second.wrap_text);
    EXPECT_FALSE(xls_engines[1]->wrap);

    // A format number no descriptor has loads as the newest format.
    tk_serializer raw("Software\\Norvale\\Tabloom");
    ASSERT_EQ(raw.get_reg_key().create(plat::HKEY_CURRENT_USER, raw.get_key_path().c_str()), 0);
    DWORD seven = 7;
    EXPECT_TRUE(raw.serialize("engine", seven, true));
    raw.get_reg_key().close();
    EXPECT_TRUE(second.serialize(false));
    EXPECT_EQ(second.format_version, 2u);
  }
}

TEST(RegistrySettings, TheConsoleConverterNeverTouchesTheRegistry)
{
  private_config config;
  {
    qorvant_converter console;
    console.host = "somewhere";
    EXPECT_FALSE(console.wrap_text);
    EXPECT_FALSE(console.open_on_exit);
  }
  EXPECT_FALSE(std::filesystem::exists(config.file()));
}

TEST(ProfileSettings, LoadingTakesTheKeysItFindsAndKeepsTheRest)
{
  temp_dir dir;
  write_file(dir.file("p.qvt"),
             "[Selected Tables]\r\norders=\r\nbig=SELECT * FROM orders WHERE total > 100\r\n"
             "[Generic settings]\r\nsrc=shop\r\n"
             "[MS Excel settings]\r\nformat version=7\r\nwrap text=1\r\nsplit data=yes\r\n"
             "BLOB to text=1\r\n"
             "[MySQL settings]\r\nhost=\r\nuser=\r\npassword=pw\r\nport=\r\n"
             "dump line break=1\r\ndump new version=0\r\ndump create database=1\r\n");
  qorvant_converter c;
  c.host = "remote";
  c.user = "kept";
  c.port = "3310";
  c.split_data = true;
  c.selected_queries = {{L"mine", L"SELECT 1\r\nFROM dual\nWHERE 1\rAND 2"}, {L"customers", L""}};

  ASSERT_TRUE(c.load_profile(wide(dir.file("p.qvt"))));
  EXPECT_EQ(c.source, L"shop");
  EXPECT_EQ(c.format_version, 0u);  // 7 is no format: the first
  EXPECT_TRUE(c.wrap_text);
  EXPECT_TRUE(xls_engines[0]->wrap && xls_engines[2]->wrap);
  EXPECT_FALSE(c.split_data);  // any text but "1" clears
  EXPECT_TRUE(c.blob_to_text);
  EXPECT_EQ(c.host, "");  // an empty host means the local server
  EXPECT_EQ(c.user, "kept");
  EXPECT_EQ(c.password, "pw");
  EXPECT_EQ(c.port, "3310");
  EXPECT_EQ(c.dump.line_break, 1u);
  EXPECT_FALSE(c.dump.new_version);
  EXPECT_TRUE(c.dump.create_database);
  EXPECT_TRUE(c.dump.create_table);  // not in the file
  const std::vector<udb_converter::name_text> once = {
      {L"customers", L""},
      {L"orders", L""},
      {L"big", L"SELECT * FROM orders WHERE total > 100"},
      {L"mine", L"SELECT 1 FROM dual WHERE 1 AND 2"}};
  EXPECT_EQ(c.selected_queries, once);

  // A second load lists the profile's entries again, the user's query last.
  c.format_version = 1;
  write_file(dir.file("q.qvt"), "[Selected Tables]\r\nt2=\r\n");
  ASSERT_TRUE(c.load_profile(wide(dir.file("q.qvt"))));
  EXPECT_EQ(c.format_version, 1u);  // no key: unchanged
  const std::vector<udb_converter::name_text> twice = {
      {L"customers", L""}, {L"orders", L""}, {L"t2", L""}, {L"big", L"SELECT * FROM orders WHERE total > 100"},
      {L"mine", L"SELECT 1 FROM dual WHERE 1 AND 2"}};
  EXPECT_EQ(c.selected_queries, twice);

  // Not a profile: false; a missing file: the profile's own error.
  write_file(dir.file("bad.qvt"), "key=value before any section\r\n");
  EXPECT_FALSE(c.load_profile(wide(dir.file("bad.qvt"))));
  EXPECT_EQ(tk_error_text([&] { c.load_profile(wide(dir.file("none.qvt"))); }),
            "Profile does not exist. Please verify the correct path/name was given.");
}

TEST(ProfileSettings, StoredProfileReadsBackIntoTheSameSettings)
{
  temp_dir dir;
  const std::wstring path = wide(dir.file("stored.qvt"));
  {
    qorvant_converter c;
    c.source = L"shop";
    c.destination = L"/tmp/out.xlsx";
    c.format_version = 1;
    c.split_data = true;
    c.set_wrap_text(true);
    c.dates_to_strings = true;
    c.blob_to_text = true;
    c.store_mysql_settings("  db.example ", "me", " pw ", " 3307 ");
    c.dump.insert_comments = false;
    c.selected_queries = {{L"multi", L"SELECT a\r\nFROM b\nWHERE c"}, {L"t", L""}};
    c.available_queries = {{L"avail", L"SELECT x\nFROM y"}};
    ASSERT_TRUE(c.store_profile(path));
    // The converter keeps its own text; the file holds it on one line.
    EXPECT_EQ(c.selected_queries[0].second, L"SELECT a\r\nFROM b\nWHERE c");
  }
  const std::string file = read_file(dir.file("stored.qvt"));
  EXPECT_NE(file.find("multi=SELECT a FROM b WHERE c\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find("[MS Excel settings]\r\nformat version=1\r\nsplit data=1\r\nwrap text=1\r\n"
                      "convert dates to strings=1\r\nBLOB to text=1\r\n"),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("[MySQL settings]\r\nhost=db.example\r\nuser=me\r\npassword=pw\r\nport=3307\r\n"
                      "dump line break=0\r\ndump new version=1\r\ndump add lock to insert=1\r\n"
                      "dump insert comments=0\r\ndump create database=0\r\ndump create table=1\r\n"),
            std::string::npos)
      << file;

  qorvant_converter back;
  ASSERT_TRUE(back.load_profile(path));
  EXPECT_EQ(back.source, L"shop");
  EXPECT_EQ(back.destination, L"/tmp/out.xlsx");
  EXPECT_EQ(back.format_version, 1u);
  EXPECT_TRUE(back.split_data);
  EXPECT_TRUE(back.wrap_text);
  EXPECT_TRUE(back.dates_to_strings);
  EXPECT_TRUE(back.blob_to_text);
  EXPECT_EQ(back.host, "db.example");
  EXPECT_EQ(back.user, "me");
  EXPECT_EQ(back.password, "pw");
  EXPECT_EQ(back.port, "3307");
  EXPECT_FALSE(back.dump.insert_comments);
  const std::vector<udb_converter::name_text> entries = {{L"multi", L"SELECT a FROM b WHERE c"},
                                                         {L"t", L""}};
  EXPECT_EQ(back.selected_queries, entries);
  ASSERT_EQ(back.available_queries.size(), 1u);
  // A query with line breaks reads back as one entry.
  EXPECT_EQ(back.available_queries[0].second, L"SELECT x FROM y");
}

TEST(ConnectionSettings, PortIsCheckedBeforeAnyConnection)
{
  const test_server_info& server = test_server();
  qorvant_converter c;
  c.store_mysql_settings(" h ", " u ", " p ", "");
  EXPECT_EQ(c.host, "h");
  EXPECT_EQ(c.user, "u");
  EXPECT_EQ(c.password, "p");
  EXPECT_EQ(c.port, "3306");

  for (const std::string port : {"abc", "0", "-5", "70000"}) {
    c.store_mysql_settings(server.host, server.user, server.password, port);
    EXPECT_EQ(tk_error_text([&] { c.connect_mysql_server(); }), "Invalid port number") << port;
    EXPECT_FALSE(c.engine.is_connected()) << port;
  }
  // Digits up to the first other character make the port.
  c.store_mysql_settings(server.host, server.user, server.password,
                         " " + std::to_string(server.port) + "x");
  c.connect_mysql_server();
  EXPECT_TRUE(c.engine.is_connected());
}

TEST(ConnectionSettings, TableListAndQueryTestUseTheSourceDatabase)
{
  sql_admin admin;
  scratch_database db(admin, "_list");
  db.run("CREATE TABLE b (x INT)");
  db.run("CREATE TABLE a (x INT)");
  db.run("CREATE VIEW v AS SELECT x FROM a");
  connected_converter run(db.wname(), L"");
  std::vector<std::wstring> names = {L"stale"};
  run.converter.get_all_tables(names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_TRUE(run.converter.test_query(L"SELECT x FROM v"));
  EXPECT_FALSE(run.converter.test_query(L"SELECT nothing FROM nowhere"));
  run.converter.source = L"qvt_no_such_database";
  EXPECT_FALSE(run.converter.test_query(L"SELECT 1"));
}

TEST(DestinationChecks, EachUnwritableDestinationHasItsMessage)
{
  temp_dir dir;
  const std::string readonly = dir.file("readonly.xlsx");
  write_file(readonly, "x");
  ::chmod(readonly.c_str(), 0444);
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {dir.path().string(), "Destination name should specify a file, not folder."},
      // "--dest=out/" once its extension is set: no file name.
      {dir.file("out/.xlsx"), "Destination name should specify a file, not folder."},
      {dir.file(".xls"), "Destination name should specify a file, not folder."},
      {readonly, "Destination name specifies an existing read-only file."},
      {dir.file("missing/out.xlsx"),
       "Destination path does not exist.\nPlease verify the correct path was given."},
      {dir.file("fine.xlsx"), "no error"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tk_error_text([&] { common_check_dest(wide(c.path)); }), c.message) << c.path;

  if (::geteuid() != 0) {
    const std::string locked = dir.file("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    EXPECT_EQ(tk_error_text([&] { common_check_dest(wide(locked + "/out.xlsx")); }),
              "Cannot create or write into the destination file.\nRun the program as "
              "Administrator or change folder.");
  }
}

TEST(DestinationChecks, CheckDestKeepsAnExistingFile)
{
  temp_dir dir;
  qorvant_converter c;
  c.destination = wide(dir.file("old.xlsx"));
  write_file(dir.file("old.xlsx"), "old");
  c.check_dest();
  EXPECT_EQ(read_file(dir.file("old.xlsx")), "old");

  c.destination = wide(dir.path().string());
  EXPECT_EQ(tk_error_text([&] { c.check_dest(); }),
            "Destination name should specify a file, not folder.");
}
