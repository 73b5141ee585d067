// Registry settings as the GUI program keeps them: every value round-trips
// through a close and a reopen, loading never changes a value it did not find,
// and wrong use of a key is an internal error.
#include "TK/tk_exception.h"
#include "TK/tk_regk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

constexpr const char* key_path = "Software\\Norvale\\Tabloom";

class TkRegistry : public ::testing::Test {
protected:
  void SetUp() override
  {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    had_old_ = old != nullptr;
    old_ = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override
  {
    if (had_old_)
      ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }
  std::string file() const { return dir_.file("Norvale/Tabloom"); }

  static void open(tk_serializer& s)
  {
    ASSERT_EQ(s.get_reg_key().create(plat::HKEY_CURRENT_USER, s.get_key_path().c_str()), plat::ERROR_SUCCESS);
  }

  temp_dir dir_;

private:
  bool had_old_ = false;
  std::string old_;
};

// The converter's twelve values, in the order it reads and writes them.
struct settings {
  bool blob2text = false;
  bool dates_to_strings = false;
  std::wstring dest;
  DWORD engine = 2;
  std::string host;
  bool open_on_exit = true;
  std::string port = "3306";
  std::string pswd;
  bool split = false;
  std::wstring src;
  std::string user;
  bool wrap_text = true;

  int serialize(tk_serializer& s, bool store)
  {
    return s.serialize("blob2text", blob2text, store) + s.serialize("dates to strings", dates_to_strings, store) +
           s.serialize(L"dest", dest, store) + s.serialize("engine", engine, store) +
           s.serialize("host", host, store) + s.serialize("open on exit", open_on_exit, store) +
           s.serialize("port", port, store) + s.serialize("pswd", pswd, store) + s.serialize("split", split, store) +
           s.serialize(L"src", src, store) + s.serialize("user", user, store) +
           s.serialize("wrap text", wrap_text, store);
  }
};

TEST_F(TkRegistry, SettingsRoundTripThroughTheStore)
{
  settings saved;
  saved.blob2text = true;
  saved.dates_to_strings = true;
  saved.dest = L"/home/j\u00f6rg/Mappe \U0001F600.xlsx";
  saved.engine = 0;
  saved.host = "db.example";
  saved.open_on_exit = false;
  saved.port = "3307";
  saved.pswd = "p\"a\\s=s;w\xC3\xB6rd";
  saved.split = true;
  saved.src = L"shop";
  saved.user = "root";
  saved.wrap_text = false;
  {
    tk_serializer s(key_path);
    open(s);
    EXPECT_EQ(saved.serialize(s, true), 12);
  }  // the destructor closes the key, which writes it

  settings loaded;
  tk_serializer s(key_path);
  open(s);
  EXPECT_EQ(loaded.serialize(s, false), 12);
  EXPECT_EQ(loaded.blob2text, saved.blob2text);
  EXPECT_EQ(loaded.dates_to_strings, saved.dates_to_strings);
  EXPECT_EQ(loaded.dest, saved.dest);
  EXPECT_EQ(loaded.engine, saved.engine);
  EXPECT_EQ(loaded.host, saved.host);
  EXPECT_EQ(loaded.open_on_exit, saved.open_on_exit);
  EXPECT_EQ(loaded.port, saved.port);
  EXPECT_EQ(loaded.pswd, saved.pswd);
  EXPECT_EQ(loaded.split, saved.split);
  EXPECT_EQ(loaded.src, saved.src);
  EXPECT_EQ(loaded.user, saved.user);
  EXPECT_EQ(loaded.wrap_text, saved.wrap_text);
}

TEST_F(TkRegistry, WhatIsNotFoundLeavesTheDefaults)
{
  {
    tk_reg_key key;
    ASSERT_EQ(key.create(plat::HKEY_CURRENT_USER, key_path), plat::ERROR_SUCCESS);
    ASSERT_EQ(key.set_value("", "port"), plat::ERROR_SUCCESS);          // saved empty
    ASSERT_EQ(key.set_value(L"", L"src"), plat::ERROR_SUCCESS);
    ASSERT_EQ(key.set_value("x", "engine"), plat::ERROR_SUCCESS);       // hand-edited to a text
    ASSERT_EQ(key.set_value(DWORD{1}, "host"), plat::ERROR_SUCCESS);    // a number where a text belongs
  }
  settings defaults;
  defaults.src = L"kept";
  defaults.host = "kept";
  tk_serializer s(key_path);
  open(s);
  EXPECT_EQ(defaults.serialize(s, false), 0);
  EXPECT_EQ(defaults.port, "3306");
  EXPECT_EQ(defaults.src, L"kept");
  EXPECT_EQ(defaults.engine, 2u);
  EXPECT_EQ(defaults.host, "kept");
  EXPECT_TRUE(defaults.open_on_exit);
  EXPECT_TRUE(defaults.wrap_text);
}

TEST_F(TkRegistry, AnyNonZeroNumberLoadsTrueAndTrueStoresOne)
{
  tk_serializer s(key_path);
  open(s);
  ASSERT_EQ(s.get_reg_key().set_value(DWORD{5}, "split"), plat::ERROR_SUCCESS);
  bool split = false;
  EXPECT_TRUE(s.serialize("split", split, false));
  EXPECT_TRUE(split);
  EXPECT_TRUE(s.serialize("split", split, true));
  DWORD stored = 0;
  EXPECT_EQ(s.get_reg_key().get_value(stored, "split"), plat::ERROR_SUCCESS);
  EXPECT_EQ(stored, 1u);
}

TEST_F(TkRegistry, AClosedKeyLoadsAndStoresNothing)
{
  settings values;
  values.host = "kept";
  tk_serializer s(key_path);
  EXPECT_EQ(values.serialize(s, true), 0);
  EXPECT_EQ(values.serialize(s, false), 0);
  EXPECT_EQ(values.host, "kept");
  open(s);
  EXPECT_EQ(s.get_reg_key().close(), plat::ERROR_SUCCESS);
  EXPECT_EQ(values.serialize(s, true), 0);
  EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(TkRegistry, ReopeningAKeyClosesAndWritesTheOldOne)
{
  tk_reg_key key;
  DWORD disposition = 0;
  ASSERT_EQ(key.create(plat::HKEY_CURRENT_USER, key_path, nullptr, 0, plat::KEY_ALL_ACCESS, nullptr, &disposition),
            plat::ERROR_SUCCESS);
  EXPECT_EQ(disposition, plat::REG_CREATED_NEW_KEY);
  ASSERT_EQ(key.set_value("db", "host"), plat::ERROR_SUCCESS);
  ASSERT_EQ(key.create(plat::HKEY_CURRENT_USER, key_path, nullptr, 0, plat::KEY_ALL_ACCESS, nullptr, &disposition),
            plat::ERROR_SUCCESS);
  EXPECT_EQ(disposition, plat::REG_OPENED_EXISTING_KEY);
  char host[8] = {};
  DWORD size = sizeof host;
  EXPECT_EQ(key.get_value(host, "host", &size), plat::ERROR_SUCCESS);
  EXPECT_STREQ(host, "db");
  EXPECT_EQ(size, 3u);
  // A failed open keeps the key that was open.
  EXPECT_EQ(key.create(plat::HKEY_CURRENT_USER, "Software\\..\\x"), plat::ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(key.is_open());
}

TEST_F(TkRegistry, WrongUseOfAKeyIsAnInternalError)
{
  tk_reg_key open_key;
  ASSERT_EQ(open_key.create(plat::HKEY_CURRENT_USER, key_path), plat::ERROR_SUCCESS);
  tk_reg_key closed;
  DWORD number = 0;
  DWORD size = 0;
  char narrow[4];
  wchar_t wide[4];
  const struct {
    std::function<void()> call;
    int line;
  } cases[] = {
    {[&] { closed.create(nullptr, key_path); }, 64},
    {[&] { open_key.get_value(number, nullptr); }, 98},
    {[&] { open_key.get_value(narrow, "host", nullptr); }, 115},
    {[&] { open_key.get_value(narrow, nullptr, &size); }, 116},
    {[&] { open_key.get_value(wide, L"src", nullptr); }, 132},
    {[&] { open_key.get_value(wide, nullptr, &size); }, 133},
    {[&] { closed.set_value(DWORD{1}, "engine"); }, 149},
    {[&] { open_key.set_value(static_cast<const char*>(nullptr), "host"); }, 156},
    {[&] { closed.set_value("x", "host"); }, 157},
    {[&] { open_key.set_value(static_cast<const wchar_t*>(nullptr), L"src"); }, 164},
    {[&] { closed.set_value(L"x", L"src"); }, 165},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << "no assertion for line " << c.line;
    } catch (const tk_mail_assertion& e) {
      EXPECT_EQ(e.get_message(), make_err_meggase("tk_regk", c.line));
    }
  }
  // Reading through a closed key is an ordinary failure.
  EXPECT_EQ(closed.get_value(number, "engine"), plat::ERROR_INVALID_HANDLE);
}

} // namespace
