// A private temporary folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class temp_dir {
public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of an entry inside the folder.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

// Writes bytes to a file, replacing it.
void write_file(const std::string& path, const std::string& bytes);
// Reads a whole file as bytes; empty when it cannot be read.
std::string read_file(const std::string& path);
// The names of a folder's entries, sorted: a listing a test compares whole.
std::vector<std::string> entry_names(const std::filesystem::path& folder);
