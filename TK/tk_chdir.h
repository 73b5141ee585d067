// The process's current directory switched for the lifetime of an object and
// switched back by its destructor. The current directory is process-wide: use
// these around one call on one thread, never while a worker relies on it.
#pragma once

#include <string>

class tk_temp_chdir {
public:
  // An empty folder means the program's own folder.
  explicit tk_temp_chdir(const std::string& folder);
  ~tk_temp_chdir();
  tk_temp_chdir(const tk_temp_chdir&) = delete;
  tk_temp_chdir& operator=(const tk_temp_chdir&) = delete;

  // Whether the switch succeeded (and will be undone).
  bool changed() const noexcept { return changed_; }

private:
  void initialize(const std::string& folder);

  bool changed_ = false;
  std::string saved_dir_;
};

class tk_temp_chdir_w {
public:
  explicit tk_temp_chdir_w(const std::wstring& folder);
  ~tk_temp_chdir_w();
  tk_temp_chdir_w(const tk_temp_chdir_w&) = delete;
  tk_temp_chdir_w& operator=(const tk_temp_chdir_w&) = delete;

  bool changed() const noexcept { return changed_; }

private:
  void initialize(const std::wstring& folder);

  bool changed_ = false;
  std::string saved_dir_;  // as the system gave it, so that it is restored byte for byte
};
