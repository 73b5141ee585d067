// The per-user settings store: values survive closing and reopening (a restart
// reads only the file), the file is private, and a missing or damaged file gives
// no values instead of failing.
#include "platform/registry.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* key_path = "Software\\Norvale\\Tabloom";

// Points the configuration folder at a private temporary one for one test.
class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old != nullptr, old ? old : ""});
    }
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override
  {
    for (const auto& s : saved_) {
      if (s.present)
        ::setenv(s.name, s.value.c_str(), 1);
      else
        ::unsetenv(s.name);
    }
  }

  std::string file() const { return dir_.file("Norvale/Tabloom"); }

  plat::HKEY open(DWORD* disposition = nullptr)
  {
    plat::HKEY key = nullptr;
    EXPECT_EQ(plat::reg_create_key(plat::HKEY_CURRENT_USER, key_path, key, disposition), plat::ERROR_SUCCESS);
    return key;
  }

  std::string narrow(plat::HKEY key, const char* name, LONG expected = plat::ERROR_SUCCESS)
  {
    DWORD size = 0;
    EXPECT_EQ(plat::reg_query_text(key, name, nullptr, &size), expected) << name;
    if (expected != plat::ERROR_SUCCESS)
      return {};
    std::string buffer(size, '?');
    EXPECT_EQ(plat::reg_query_text(key, name, buffer.data(), &size), plat::ERROR_SUCCESS);
    EXPECT_EQ(buffer.back(), '\0');
    buffer.pop_back();
    return buffer;
  }

  temp_dir dir_;

private:
  struct saved_variable {
    const char* name;
    bool present;
    std::string value;
  };
  std::vector<saved_variable> saved_;
};

TEST_F(RegistryTest, ValuesSurviveReopeningInAPrivateFile)
{
  const struct {
    const char* name;
    std::string text;
  } texts[] = {
    {"pswd", "se\"cr\\et=x;y"},
    {"host", "h\xC3\xB6st \xF0\x9F\x98\x80"},
    {"multi", "line one\r\nline two\ttab\x01"},
    {"empty", ""},
  };
  const struct {
    const char* name;
    DWORD number;
  } numbers[] = {{"engine", 2}, {"split", 0}, {"big", 0xFFFFFFFFu}};

  DWORD disposition = 0;
  plat::HKEY key = open(&disposition);
  EXPECT_EQ(disposition, plat::REG_CREATED_NEW_KEY);
  for (const auto& t : texts)
    ASSERT_EQ(plat::reg_set_text(key, t.name, t.text), plat::ERROR_SUCCESS);
  for (const auto& n : numbers)
    ASSERT_EQ(plat::reg_set_dword(key, n.name, n.number), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::reg_set_text(key, std::wstring_view(L"src"), std::wstring_view(L"Datenbank \u00c4\U0001F600")),
            plat::ERROR_SUCCESS);
  EXPECT_FALSE(std::filesystem::exists(file())) << "written only when the key is closed";
  ASSERT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);

  struct stat info{};
  ASSERT_EQ(::stat(file().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(std::filesystem::directory_iterator(dir_.path() / "Norvale")->path().filename(), "Tabloom")
      << "no temporary file is left beside it";

  key = open(&disposition);
  EXPECT_EQ(disposition, plat::REG_OPENED_EXISTING_KEY);
  for (const auto& t : texts)
    EXPECT_EQ(narrow(key, t.name), t.text) << t.name;
  for (const auto& n : numbers) {
    DWORD value = 12345;
    EXPECT_EQ(plat::reg_query_dword(key, n.name, value), plat::ERROR_SUCCESS);
    EXPECT_EQ(value, n.number) << n.name;
  }
  // One stored text, seen wide or narrow; sizes in bytes with the terminator.
  EXPECT_EQ(narrow(key, "src"), "Datenbank \xC3\x84\xF0\x9F\x98\x80");
  DWORD size = 0;
  ASSERT_EQ(plat::reg_query_text(key, std::wstring_view(L"src"), nullptr, &size), plat::ERROR_SUCCESS);
  EXPECT_EQ(size, 13 * sizeof(wchar_t));
  std::wstring wide(size / sizeof(wchar_t), L'?');
  DWORD small = size - 1;
  EXPECT_EQ(plat::reg_query_text(key, std::wstring_view(L"src"), wide.data(), &small), plat::ERROR_MORE_DATA);
  EXPECT_EQ(small, size);
  ASSERT_EQ(plat::reg_query_text(key, std::wstring_view(L"src"), wide.data(), &size), plat::ERROR_SUCCESS);
  EXPECT_EQ(wide, std::wstring(L"Datenbank \u00c4\U0001F600") + L'\0');
  EXPECT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);
}

TEST_F(RegistryTest, MissingValuesAndOtherTypesReadAsMissing)
{
  plat::HKEY key = open();
  ASSERT_EQ(plat::reg_set_text(key, "engine", "x"), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::reg_set_dword(key, "port", 3306), plat::ERROR_SUCCESS);
  DWORD value = 7;
  EXPECT_EQ(plat::reg_query_dword(key, "engine", value), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plat::reg_query_dword(key, "nothing", value), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, 7u);
  narrow(key, "port", plat::ERROR_FILE_NOT_FOUND);
  narrow(key, "nothing", plat::ERROR_FILE_NOT_FOUND);
  // Names are matched ignoring case, as the system's value names are.
  EXPECT_EQ(plat::reg_query_dword(key, "PORT", value), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);
}

TEST_F(RegistryTest, DamagedFileKeepsItsReadableValuesAndIsRewrittenClean)
{
  std::filesystem::create_directories(dir_.path() / "Norvale");
  static constexpr char damaged[] = "\"engine\"=dword:00000001\r\n"
                                    "\"port\"=\"33\n"                  // unterminated text
                                    "\"split\"=dword:1\n"              // too few digits
                                    "\xFF\xFE garbage \0 bytes\n"
                                    "\"user\"=\"root\"\n";
  write_file(file(), std::string(damaged, sizeof damaged - 1));
  plat::HKEY key = open();
  DWORD engine = 0;
  EXPECT_EQ(plat::reg_query_dword(key, "engine", engine), plat::ERROR_SUCCESS);
  EXPECT_EQ(engine, 1u);
  EXPECT_EQ(plat::reg_query_dword(key, "split", engine), plat::ERROR_FILE_NOT_FOUND);
  narrow(key, "port", plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(narrow(key, "user"), "root");
  ASSERT_EQ(plat::reg_set_dword(key, "split", 1), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);
  EXPECT_EQ(read_file(file()), "; per-user settings, one value a line\n"
                               "\"engine\"=dword:00000001\n"
                               "\"user\"=\"root\"\n"
                               "\"split\"=dword:00000001\n");

  write_file(file(), std::string("\x00\x01\x02\xFF\xFF binary", 12));
  key = open();
  narrow(key, "user", plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);
}

TEST_F(RegistryTest, TwoHandlesOnOneKeyShareTheirChanges)
{
  plat::HKEY first = open();
  plat::HKEY second = open();
  ASSERT_EQ(plat::reg_set_text(first, "host", "a"), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::reg_set_text(second, "user", "b"), plat::ERROR_SUCCESS);
  EXPECT_EQ(narrow(second, "host"), "a") << "seen through every handle at once";
  EXPECT_EQ(plat::reg_close_key(first), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::reg_close_key(second), plat::ERROR_SUCCESS);
  plat::HKEY key = open();
  EXPECT_EQ(narrow(key, "host"), "a");
  EXPECT_EQ(narrow(key, "user"), "b");
  EXPECT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);
}

TEST_F(RegistryTest, BadHandlesAndKeyPathsAreRefused)
{
  DWORD value = 0;
  DWORD size = 0;
  plat::HKEY key = open();
  ASSERT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);
  EXPECT_FALSE(std::filesystem::exists(file())) << "an unchanged key writes nothing";
  for (plat::HKEY bad : {static_cast<plat::HKEY>(nullptr), key, plat::HKEY_CURRENT_USER}) {
    EXPECT_EQ(plat::reg_query_dword(bad, "engine", value), plat::ERROR_INVALID_HANDLE);
    EXPECT_EQ(plat::reg_query_text(bad, "host", nullptr, &size), plat::ERROR_INVALID_HANDLE);
    EXPECT_EQ(plat::reg_set_dword(bad, "engine", 1), plat::ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(plat::reg_close_key(key), plat::ERROR_INVALID_HANDLE) << "a second close";

  for (const char* subkey : {"Software", "", "Software\\..\\etc", "Software\\a\\\\b", "Software\\a/b"}) {
    plat::HKEY opened = nullptr;
    EXPECT_EQ(plat::reg_create_key(plat::HKEY_CURRENT_USER, subkey, opened, nullptr),
              plat::ERROR_INVALID_PARAMETER)
        << subkey;
  }
  plat::HKEY opened = nullptr;
  EXPECT_EQ(plat::reg_create_key(nullptr, key_path, opened, nullptr), plat::ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, WithoutUsableConfigHomeTheFileGoesUnderHome)
{
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  ::setenv("HOME", dir_.path().c_str(), 1);
  plat::HKEY key = open();
  ASSERT_EQ(plat::reg_set_dword(key, "engine", 2), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::reg_close_key(key), plat::ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / ".config/Norvale/Tabloom"));
  struct stat info{};
  ASSERT_EQ(::stat((dir_.path() / ".config/Norvale").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u) << "created folders are private";
}

TEST_F(RegistryTest, FailedWriteIsReportedByClose)
{
  write_file(dir_.file("Norvale"), "a file where the folder belongs");
  plat::HKEY key = open();
  ASSERT_EQ(plat::reg_set_dword(key, "engine", 2), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::reg_close_key(key), plat::ERROR_WRITE_FAULT);
  EXPECT_EQ(read_file(dir_.file("Norvale")), "a file where the folder belongs");
}

} // namespace
