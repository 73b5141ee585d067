// The wizard's first page: the greeting, the maker's link and Load Settings,
// which fills the whole converter from a profile file before the steps begin.
#pragma once

#include "GUI2/wizard_page.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <string>

class QLabel;
class qorvant_converter;

class welcome_page : public wizard_page {
  Q_OBJECT
public:
  static constexpr int help_page = 1012;
  static const char* maker_site() { return "https://www.norvale.example/"; }

  using url_opener = std::function<void(const QUrl&)>;
  using help_opener = std::function<void(int topic)>;

  // profile_extension: without the dot; it must have 3 or 4 characters.
  welcome_page(qorvant_converter& converter, std::wstring profile_extension);

  int page_init() override;
  void on_help() override;
  // Load Settings: the open dialog starts where the profile dialogs start
  // (GUI2/file_dialog.h). A failure is an error box and the page stays.
  void on_load();

  // The open dialog's filter: "Profile Files (.<ext>) (*.<ext>);;All Files (*.*) (*)".
  QString profile_filter() const;

  void set_url_opener(url_opener opener) { open_url_ = std::move(opener); }
  void set_help_opener(help_opener opener) { open_help_ = std::move(opener); }

protected:
  // Called at the end of Load Settings, whether or not a file was chosen.
  virtual void on_profile_loaded() {}

private:
  qorvant_converter& converter_;
  std::wstring extension_;
  QLabel* title_;
  url_opener open_url_;
  help_opener open_help_;
};
