// Wide text for the tests, made from the UTF-8 they are written in (literals,
// paths, what a server or reader answered). Text that is not UTF-8 fails the
// test that made it, so no test runs on with a text it did not mean.
#pragma once

#include "platform/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

inline std::wstring wide(std::string_view utf8)
{
  std::wstring out;
  EXPECT_TRUE(plat::utf8_to_wide(utf8, out)) << "not UTF-8: " << plat::terminal_safe(utf8);
  return out;
}
