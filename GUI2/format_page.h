// The wizard's format page: the workbook format and the three conversion
// options. The format is the converter's the moment it is picked, the options
// once the page is left; Next gives the destination the chosen format's extension
// when it carries the other format's, asking before it names an existing file.
#pragma once

#include "GUI2/wizard_page.h"

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class qorvant_converter;

// The path with the format's extension when it ends in the other format's
// (".xls" for ".xlsx" or the reverse, in any case); otherwise unchanged. The
// rest of the path stays as it is, relative or not.
std::wstring destination_for_format(const std::wstring& path, std::uint32_t format_version);

class format_page : public wizard_page {
  Q_OBJECT
public:
  static constexpr int help_page = 1011;

  explicit format_page(qorvant_converter& converter);

  int page_init() override;
  int on_next() override;
  int on_back() override;
  void on_help() override;

  void store_settings();

private:
  void on_format_chosen(int index);
  void show_note(std::uint32_t format_version);

  qorvant_converter& converter_;
  QComboBox* formats_;
  QLabel* note_;
  QCheckBox* blob_to_text_;
  QCheckBox* dates_to_strings_;
  QCheckBox* wrap_text_;
  bool listed_ = false;
};
