// The open and save dialogs of the pages. The process's current folder is never
// changed: the dialog starts in the initial path's folder (the user's current
// folder when the path names none; the program's own is not writable once
// installed). The save dialog appends its default extension by one rule only,
// with_default_extension; the dialog itself adds none.
#pragma once

#include <QString>

#include <functional>
#include <string>

class QWidget;

// "Description|pattern;pattern|...|" as the pages build it, in Qt's form
// "Description (pattern pattern);;...", with "*.*" becoming "*".
QString qt_file_filter(const std::wstring& filters);

// The path with the extension (".xls") appended unless the path holds it
// anywhere already, compared with case.
std::wstring with_default_extension(const std::wstring& path, const std::wstring& extension);

// The filters of the profile dialogs, in the pages' form, for the extension
// without its dot.
std::wstring profile_filters(const std::wstring& extension);
// Where Load Settings and Save Settings both start, as a dialog's initial path
// (a folder, no file name): the folder where a profile was last loaded or
// saved, kept with the wizard's settings, while it is there; else the user's
// current folder.
std::wstring profile_start_path(const std::wstring& last_folder);
// The folder to keep for a profile the user chose in either dialog.
std::wstring profile_folder_of(const std::wstring& profile_path);

// What a dialog is asked to show; a chooser answers with the chosen path, or an
// empty text when the user cancelled.
struct file_dialog_request {
  QWidget* owner = nullptr;
  QString title;
  QString filter;  // Qt's form
  QString folder;
  QString file_name;  // without its extension
  bool save = false;
};
using file_chooser = std::function<QString(const file_dialog_request&)>;
// Replaces the desktop's dialogs (tests); an empty chooser restores them.
void set_file_chooser(file_chooser chooser);

class file_dialog {
public:
  file_dialog(QWidget* owner, const std::wstring& filters, const std::wstring& title,
              const std::wstring& initial_path);
  virtual ~file_dialog() = default;
  file_dialog(const file_dialog&) = delete;
  file_dialog& operator=(const file_dialog&) = delete;

  // True when the user confirmed a file, whose full path is then path().
  virtual bool show() = 0;
  const std::wstring& path() const noexcept { return path_; }
  const file_dialog_request& request() const noexcept { return request_; }

protected:
  // Runs the chooser; false when the user cancelled.
  bool choose();

  file_dialog_request request_;
  std::wstring path_;
};

// The chosen file must exist.
class open_file_dialog : public file_dialog {
public:
  using file_dialog::file_dialog;
  bool show() override;
};

class save_file_dialog : public file_dialog {
public:
  // The extension with or without its leading "."; null is an internal error.
  save_file_dialog(QWidget* owner, const std::wstring& filters, const std::wstring& title,
                   const std::wstring& initial_path, const wchar_t* extension);
  bool show() override;

private:
  std::wstring extension_;
};
