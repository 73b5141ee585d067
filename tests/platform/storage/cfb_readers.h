// The independent readers the compound-file tests check against: olefile
// (through check_cfb.py) and libgsf's `gsf` program. Each returns its
// complaint, empty when the file is as expected.
#pragma once

#include "support/temp_dir.h"
#include "support/workbook_check.h"

#include <filesystem>
#include <string>

namespace cfb_readers {

inline std::string quoted(const std::string& text) { return "'" + text + "'"; }

inline std::string olefile(const std::string& command, const std::string& file, const std::string& name,
                           const std::string& other)
{
  const std::filesystem::path checker = std::filesystem::path(QVT_TESTS_DIR) / "platform" / "storage" / "check_cfb.py";
  int status = 0;
  std::string report = workbook_check::command_output(
      "/usr/bin/python3 " + quoted(checker.string()) + " " + command + " " + quoted(file) + " " +
          quoted(name) + " " + quoted(other) + " 2>&1",
      &status);
  if (status != 0 && report.empty())
    report = "check_cfb.py failed with status " + std::to_string(status);
  return status == 0 ? std::string() : report;
}

// olefile reads stream `name` (UTF-8) of `file` and compares it with `bytes`.
inline std::string olefile_differences(const std::string& file, const std::string& name,
                                       const std::string& bytes)
{
  const temp_dir scratch;
  write_file(scratch.file("expected"), bytes);
  return olefile("verify", file, name, scratch.file("expected"));
}

// The stream's bytes as olefile reads them.
inline std::string olefile_stream(const std::string& file, const std::string& name)
{
  const temp_dir scratch;
  const std::string complaint = olefile("dump", file, name, scratch.file("out"));
  return complaint.empty() ? read_file(scratch.file("out")) : "olefile: " + complaint;
}

inline std::string olefile_rewrite(const std::string& file, const std::string& name,
                                   const std::string& bytes)
{
  const temp_dir scratch;
  write_file(scratch.file("data"), bytes);
  return olefile("rewrite", file, name, scratch.file("data"));
}

// gsf's listing and its copy of the stream against the expected bytes.
inline std::string gsf_differences(const std::string& file, const std::string& name,
                                   const std::string& bytes)
{
  int status = 0;
  const std::string listing = workbook_check::command_output("gsf list " + quoted(file) + " 2>&1", &status);
  if (status != 0 ||
      listing.find(" " + std::to_string(bytes.size()) + " " + name + "\n") == std::string::npos)
    return "gsf list: " + listing;
  const std::string copy =
      workbook_check::command_output("gsf cat " + quoted(file) + " " + quoted(name), &status);
  if (status != 0 || copy != bytes)
    return "gsf cat gave " + std::to_string(copy.size()) + " bytes, not the expected ones";
  return {};
}

} // namespace cfb_readers
