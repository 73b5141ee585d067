// The finish page: success, or the errors gathered while the wizard was shown;
// Save Settings writes the whole converter as a profile; Finish may open the
// written workbook with the desktop's program for it. The page cannot be left
// but by Finish (or the close box, which means the same).
#pragma once

#include "GUI2/wizard_page.h"

#include <QUrl>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class qorvant_converter;

class finish_page : public wizard_page {
  Q_OBJECT
public:
  static const QString& success_text();
  static const QString& error_text();
  static const QString& open_on_exit_text();

  // Hands a file URL to the desktop; true when something took it.
  using url_opener = std::function<bool(const QUrl&)>;

  // profile_extension: without the dot; it must have 3 or 4 characters.
  finish_page(qorvant_converter& converter, std::wstring profile_extension);

  int page_init() override;
  bool on_finish() override;
  // Save Settings; a failure is reported and the page stays.
  void on_store();

  // What "Open on exit" uses: the desktop's opener (xdg-open), whose failure
  // is an error box, unless replaced.
  void set_url_opener(url_opener opener) { open_url_ = std::move(opener); }

private:
  qorvant_converter& converter_;
  std::wstring extension_;
  QLabel* title_;
  QLabel* message_;
  QPlainTextEdit* errors_;
  QLabel* open_note_;
  QCheckBox* open_on_exit_;
  url_opener open_url_;
};
