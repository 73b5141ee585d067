// The program's own path and folder, and library versions for libraries that
// report none.
#include "TK/tk_module.h"

#include "TK/tk_log.h"
#include "platform/process.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

TEST(TkModule, ProgramPathAndFolderInBothForms)
{
  const std::string exe = plat::executable_path();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(tk_get_module_file_name(), exe);
  EXPECT_EQ(plat::to_utf8(tk_get_module_file_name<std::wstring>()), exe);
  EXPECT_EQ(tk_get_module_dir(), exe.substr(0, exe.rfind('/') + 1));
  EXPECT_EQ(plat::to_utf8(tk_get_module_dir<std::wstring>()), tk_get_module_dir());
}

TEST(TkModule, LibrariesWithoutAVersionGiveZero)
{
  temp_dir dir;
  const std::string log = dir.file("log.txt");
  {
    tk_logger logger(log.c_str(), true, 1, false);
    EXPECT_EQ(get_dll_version(L"libm.so.6"), 0u);
    EXPECT_EQ(get_dll_version(L"libqvt-no-such-library.so"), 0u);
    EXPECT_EQ(get_dll_version(nullptr), 0u);
  }
  EXPECT_EQ(read_file(log),
            "get_dll_version failed to obtain DllGetVersion\r\n"
            "get_dll_version failed to load DLL\r\n"
            "get_dll_version failed to load DLL\r\n");
}
