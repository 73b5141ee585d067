// The profile file: what load accepts and refuses, and that whatever store
// writes (one line per entry, CR LF, lines of any length) reloads to the same
// sections and entries and stores again to the same bytes.
#include "TK/tk_exception.h"
#include "UDB/udb_prof.h"
#include "support/temp_dir.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

using entries = udb_profile::entries;

std::vector<std::string> header_lines(const std::string& bytes)
{
  std::vector<std::string> headers;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t end = bytes.find("\r\n", pos);
    const std::string line = bytes.substr(pos, end - pos);
    if (!line.empty() && line.front() == '[')
      headers.push_back(line);
    pos = end == std::string::npos ? bytes.size() : end + 2;
  }
  return headers;
}

TEST(UdbProfile, LoadsHeadersEntriesAndBareLinesWithEitherLineEnd)
{
  const char* lines[] = {
    "[Generic settings]",
    "src = shop",
    "   dest=/tmp/out.xlsx   ",
    "",
    "[Selected Tables]",
    "orders",
    "top=SELECT * FROM t WHERE a = 'x=y'",
    "[Selected Tables]",
    "later",
    "[]",
    ";comment=1",
    "#x",
  };
  for (const std::string line_end : {"\r\n", "\n"}) {
    for (const std::string start : {"", "\xEF\xBB\xBF"}) {
      temp_dir dir;
      std::string bytes = start;
      for (const char* line : lines)
        bytes += line + line_end;
      write_file(dir.file("p.qvt"), bytes);

      udb_profile profile;
      ASSERT_TRUE(profile.load(wide(dir.file("p.qvt"))));
      EXPECT_EQ(profile.get_value(L"Generic settings", L"src"), L" shop") << "the value keeps its leading blank";
      EXPECT_EQ(profile.get_value(L"Generic settings", L"dest"), L"/tmp/out.xlsx");
      EXPECT_EQ(profile.get_selected_tables(),
                (entries{{L"orders", L""}, {L"top", L"SELECT * FROM t WHERE a = 'x=y'"}, {L"later", L""}}));
      EXPECT_EQ(profile.get_raw_lines().at(L"Selected Tables"), (std::vector<std::wstring>{L"orders", L"later"}));
      EXPECT_EQ(profile.get_sections().at(L""), (entries{{L";comment", L"1"}, {L"#x", L""}}));
    }
  }
}

TEST(UdbProfile, AFileThatIsNotAProfileFailsKeepingWhatWasRead)
{
  const struct {
    std::string bytes;
    entries generic;
  } cases[] = {
    {"x=1\r\n[Generic settings]\r\ny=2\r\n", {}},
    {"orders\r\n", {}},
    {"\xEF\xBB\xBF\xEF\xBB\xBF[Generic settings]\r\n", {}},
  };
  for (const auto& c : cases) {
    temp_dir dir;
    write_file(dir.file("p.qvt"), c.bytes);
    udb_profile profile;
    EXPECT_FALSE(profile.load(wide(dir.file("p.qvt")))) << c.bytes;
    EXPECT_EQ(profile.get_sections().at(L"Generic settings"), c.generic) << c.bytes;
  }
}

TEST(UdbProfile, AFileThatIsNoUtf8TextIsTheUsersErrorNamingTheFileAndLine)
{
  const std::size_t bound = std::size_t{1} << 20;
  const std::string at = "[Generic settings]\r\na=1\r\n";
  const std::string not_utf8 = "Cannot convert to UNICODE string: Invalid or incomplete multibyte or wide character";
  const struct {
    const char* what;
    std::string bytes;
    std::string message;  // behind "Profile '<path>', "
  } cases[] = {
    {"latin-1", at + "\xFF\xFE latin-1 \xE4\r\nb=2\r\n", "line 3: " + not_utf8},
    {"a picture", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "line 1: " + not_utf8},
    {"a NUL byte", at + std::string("b=shop\0more\r\n", 13), "line 3: a NUL byte, the file is not text"},
    {"a line over the bound", at + "q=" + std::string(bound - 1, 'x') + "\r\n",
     "line 3: the line is longer than 1048576 bytes, the file is no profile"},
    {"no line end at all", std::string(3 * bound, '\0'),
     "line 1: the line is longer than 1048576 bytes, the file is no profile"},
  };
  for (const auto& c : cases) {
    temp_dir dir;
    write_file(dir.file("p.qvt"), c.bytes);
    udb_profile profile;
    try {
      profile.load(wide(dir.file("p.qvt")));
      ADD_FAILURE() << c.what;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_message(), "Profile '" + dir.file("p.qvt") + "', " + c.message) << c.what;
      EXPECT_EQ(e.get_level(), 1u) << c.what;
    }
  }

  // A line of exactly the bound still loads, with either line end.
  for (const std::string end : {"\n", "\r\n"}) {
    temp_dir dir;
    const std::string value(bound - 2, 'x');
    write_file(dir.file("p.qvt"), at + "q=" + value + end);
    udb_profile profile;
    ASSERT_TRUE(profile.load(wide(dir.file("p.qvt"))));
    EXPECT_EQ(profile.get_value(L"Generic settings", L"q").size(), value.size());
  }
}

TEST(UdbProfile, AMissingFileIsTheUsersError)
{
  temp_dir dir;
  for (const std::string& path : {dir.file("missing.qvt"), dir.path().string()}) {
    udb_profile profile;
    try {
      profile.load(wide(path));
      ADD_FAILURE() << path;
    } catch (const tk_exception& e) {
      EXPECT_STREQ(e.what(), "Profile does not exist. Please verify the correct path/name was given.");
      EXPECT_EQ(e.get_level(), 1u);
    }
  }
}

TEST(UdbProfile, WhatStoreWritesReloadsToTheSameSettingsAndBytes)
{
  const std::wstring long_select = L"SELECT " + std::wstring(40000, L'x') + L" FROM t";
  udb_profile profile;
  profile.set_value(L"Selected Tables", L" orders ", L"");
  profile.set_value(L"Selected Tables", L"[bracketed]", L"");  // a bare line would read as a header
  profile.set_value(L"Selected Tables", L"big", long_select);
  profile.set_value(L"Selected Tables", L"multi", L"SELECT a,\r\n b\n FROM t\r WHERE 1");
  profile.set_value(L"Selected Views", L"v\nname", L"CREATE VIEW v AS\r\n\r\nSELECT 1");
  profile.set_value(L"Available Queries", L"\u00dcbersicht \U0001F600", L"SELECT '\u00e4' ");
  profile.set_value(L"Generic settings", L"logfile", L"");
  profile.set_value(L"MySQL settings", L"pswd", L"p=w;#[x]");

  temp_dir dir;
  const std::wstring first = wide(dir.file("first.qvt"));
  ASSERT_TRUE(profile.store(first));
  const std::string bytes = read_file(dir.file("first.qvt"));
  for (std::size_t lf = bytes.find('\n'); lf != std::string::npos; lf = bytes.find('\n', lf + 1))
    ASSERT_TRUE(lf > 0 && bytes[lf - 1] == '\r') << "every line ends in CR LF";
  EXPECT_EQ(bytes.find('\r', 0), bytes.find("\r\n"));
  EXPECT_NE(bytes.find("[bracketed]=\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("multi=SELECT a,  b  FROM t  WHERE 1\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("v name=CREATE VIEW v AS  SELECT 1\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("logfile=\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("=SELECT '\xC3\xA4'\r\n"), std::string::npos) << "blanks that load would trim are not written";
  EXPECT_NE(bytes.find("\r\norders\r\n"), std::string::npos);

  udb_profile reloaded;
  ASSERT_TRUE(reloaded.load(first));
  EXPECT_EQ(reloaded.get_selected_tables(), (entries{{L"orders", L""},
                                                     {L"[bracketed]", L""},
                                                     {L"big", long_select},
                                                     {L"multi", L"SELECT a,  b  FROM t  WHERE 1"}}));
  EXPECT_EQ(reloaded.get_selected_views(), (entries{{L"v name", L"CREATE VIEW v AS  SELECT 1"}}));
  EXPECT_EQ(reloaded.get_value(L"Available Queries", L"\u00dcbersicht \U0001F600"), L"SELECT '\u00e4'");
  EXPECT_EQ(reloaded.get_value(L"MySQL settings", L"pswd"), L"p=w;#[x]");

  const std::wstring second = wide(dir.file("second.qvt"));
  ASSERT_TRUE(reloaded.store(second));
  EXPECT_TRUE(read_file(dir.file("second.qvt")) == bytes) << "the second store writes the same bytes";
}

TEST(UdbProfile, SectionsAreStoredInUtf16CodeUnitOrder)
{
  udb_profile profile;
  for (const wchar_t* name : {L"\uFF21", L"\U0001F600", L"b", L"MySQL settings", L"MS Excel settings", L"B"})
    profile.add_section(name);
  temp_dir dir;
  ASSERT_TRUE(profile.store(wide(dir.file("p.qvt"))));
  EXPECT_EQ(header_lines(read_file(dir.file("p.qvt"))),
            (std::vector<std::string>{"[Available Queries]", "[B]", "[Generic settings]", "[MS Excel settings]",
                                      "[MySQL settings]", "[Selected Tables]", "[Selected Views]", "[b]",
                                      "[\xF0\x9F\x98\x80]", "[\xEF\xBC\xA1]"}));
}

TEST(UdbProfile, AStoredProfileIsPrivateAndAFailedStoreSaysSo)
{
  temp_dir dir;
  udb_profile profile;
  profile.set_value(L"MySQL settings", L"pswd", L"secret");
  ASSERT_TRUE(profile.store(wide(dir.file("p.qvt"))));
  struct stat info{};
  ASSERT_EQ(::stat(dir.file("p.qvt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(profile.store(wide(dir.file("missing/p.qvt"))));
  EXPECT_FALSE(profile.store(wide(dir.path().string())));
}

TEST(UdbProfile, ValuesAreAppendedAndTheFirstOfAKeyIsRead)
{
  udb_profile profile;
  EXPECT_TRUE(profile.get_available_queries().empty());
  profile.set_value(L"Generic settings", L"src", L"first");
  profile.set_value(L"Generic settings", L"src", L"second");
  profile.add_section(L"Generic settings");
  EXPECT_EQ(profile.get_sections().at(L"Generic settings").size(), 2u);
  EXPECT_EQ(profile.get_value(L"Generic settings", L"src"), L"first");
  EXPECT_EQ(profile.get_value(L"Generic settings", L"SRC"), L"");
  EXPECT_EQ(profile.get_value(L"No such section", L"src"), L"");
}

} // namespace
