// LibreOffice profiles for the tests that convert with it. ctest warms one
// profile per run in the build folder (support/warm-libreoffice-profile) and
// each test converts with a copy of its own, since LibreOffice lets one process
// at a time use a profile. Without a warmed profile a new one is made.
#pragma once

#include <string>

namespace test_support {

// The -env:UserInstallation value of a profile made in `folder`.
std::string libreoffice_profile(const std::string& folder);

// The warmed profile's folder (it may be missing or empty).
const char* warmed_libreoffice_profile();

} // namespace test_support
