// Small helpers the toolkit's path and file tests share: the current directory,
// checked where it is read, and (from support/text.h) wide forms of UTF-8 paths.
#pragma once

#include "platform/files.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <string>

namespace tk_test {

inline std::string cwd()
{
  std::string dir;
  EXPECT_TRUE(plat::current_dir(dir));
  return dir;
}

} // namespace tk_test
