#include "support/libreoffice_profile.h"

#include <filesystem>

namespace test_support {

const char* warmed_libreoffice_profile()
{
  return QVT_TEST_LO_PROFILE;
}

std::string libreoffice_profile(const std::string& folder)
{
  namespace fs = std::filesystem;
  const fs::path profile = fs::path(folder) / "lo-profile";
  std::error_code error;
  const fs::path warmed = warmed_libreoffice_profile();
  if (!fs::exists(profile) && !fs::is_empty(warmed, error) && !error)
    fs::copy(warmed, profile, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  return "file://" + profile.string();
}

} // namespace test_support
