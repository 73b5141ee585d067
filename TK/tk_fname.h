// A path made absolute and split into drive, folder, name and extension, and
// joined again. The drive is always empty here (an absolute path starts at the
// root); the folder keeps its leading and trailing '/'; the extension keeps its '.'.
#pragma once

#include <string>

class tk_file_name {
public:
  // An empty path stands for the program file, whose name is then left empty.
  // A null path is an internal error; a path that is too long or cannot be made
  // absolute is the user's error (level 1).
  explicit tk_file_name(const std::string& path);
  explicit tk_file_name(const char* path);

  void initialize(const char* path);
  void initialize(const std::string& path);

  // Drive followed by folder.
  std::string get_folder() const;
  // Drive, folder, name and extension joined; the user's error when too long.
  std::string get_full_path() const;
  // A '.' is put in front of a non-empty extension that lacks one.
  void set_ext(const std::string& ext);

  std::string extension;
  std::string drive;
  std::string name;
  std::string folder;
};

class tk_file_wname {
public:
  explicit tk_file_wname(const std::wstring& path);
  explicit tk_file_wname(const wchar_t* path);

  void initialize(const wchar_t* path);
  void initialize(const std::wstring& path);

  std::wstring get_folder() const;
  std::wstring get_full_path() const;
  void set_ext(const std::wstring& ext);

  std::wstring extension;
  std::wstring drive;
  std::wstring name;
  std::wstring folder;
};

// The path with its name and extension replaced. A path that is not absolute
// (an empty one too) is made so against the current directory first; with keep
// the given name is returned unchanged.
std::wstring tk_change_file_ext(const std::wstring& path, const std::wstring& name,
                                const std::wstring& ext, bool keep = false);
