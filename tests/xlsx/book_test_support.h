// Helpers of the workbook tests: environment variables set for one scope, a
// private TEMP per test, the outside checkers (xmllint, unzip, openpyxl) and a
// look at what a folder holds.
#pragma once

#include "support/command_output.h"
#include "support/env_var.h"

#include "support/temp_dir.h"
#include "support/text.h"

#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace book_test {

using test_support::env_var;

// The entries of a folder (names only, sorted); empty when it does not exist.
inline std::vector<std::string> entries(const std::filesystem::path& folder)
{
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

using test_support::command_output;

inline std::string quoted(const std::string& path)
{
  std::string out = "'";
  for (char c : path) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

// xmllint --noout accepts the file.
inline bool xml_well_formed(const std::string& path)
{
  int status = -1;
  const std::string said = command_output("xmllint --noout " + quoted(path) + " 2>&1", &status);
  if (status != 0)
    ADD_FAILURE() << said;
  return status == 0;
}

// A private TEMP for the workbook under test, and a folder for destinations;
// after each test TEMP must be empty again.
class book_fixture : public ::testing::Test {
protected:
  book_fixture()
      : temp_root_(dir_.path() / "temp"), out_(dir_.path() / "out"),
        temp_var_("TEMP", temp_root_.string())
  {
    std::filesystem::create_directories(temp_root_);
    std::filesystem::create_directories(out_);
  }

  std::vector<std::string> temp_leftovers() const { return entries(temp_root_); }
  std::string out(const std::string& name) const { return (out_ / name).string(); }

  temp_dir dir_;
  std::filesystem::path temp_root_;
  std::filesystem::path out_;
  env_var temp_var_;
};

} // namespace book_test
