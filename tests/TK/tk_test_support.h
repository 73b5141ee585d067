// Small helpers the toolkit's path and file tests share: the current directory
// and wide forms of UTF-8 paths, each checked where it is made.
#pragma once

#include "platform/files.h"
#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace tk_test {

inline std::string cwd()
{
  std::string dir;
  EXPECT_TRUE(plat::current_dir(dir));
  return dir;
}

inline std::wstring wide(const std::string& text)
{
  std::wstring out;
  EXPECT_TRUE(plat::utf8_to_wide(text, out));
  return out;
}

} // namespace tk_test
