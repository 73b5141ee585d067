// The wizard's database and destination page: the source database (picked from
// the server's list or typed), the workbook path and the split option. Only a
// pick from the list renames the destination and drops the table selections;
// leaving the page never deletes a file, an existing one only needs the user's yes.
#pragma once

#include "GUI2/wizard_page.h"

#include <QComboBox>

#include <cstdint>
#include <string>

class QCheckBox;
class QLineEdit;
class qorvant_converter;

// A combo box that says when its list is about to drop down, so that the list
// can be filled then and not before.
class drop_down_combo : public QComboBox {
  Q_OBJECT
public:
  using QComboBox::QComboBox;
  void showPopup() override;

signals:
  void dropping_down();
};

// The extension of the format's workbooks, without its dot: "xls" for Excel 5.0
// and Excel 2000, "xlsx" for Excel 2010-2016.
const wchar_t* workbook_extension(std::uint32_t format_version);

// The destination checks of a page's Next: the level-1 errors of
// common_check_dest, then, for an existing file, the overwrite question (No by
// default). True when the page may go on; nothing is deleted either way (a run
// replaces the file only with its complete new workbook).
bool may_write_destination(const std::wstring& path);

class database_page : public wizard_page {
  Q_OBJECT
public:
  static constexpr int help_page = 1013;

  explicit database_page(qorvant_converter& converter);

  int page_init() override;
  int on_next() override;
  int on_back() override;
  void on_help() override;

  // The database box's text.
  std::wstring get_sel_database() const;
  void store_settings();

public slots:
  // The server's database list is fetched again at the next drop-down (a new
  // connection may lead to another server).
  void forget_databases();

private:
  void on_dropdown();
  void on_sel_change(int index);
  void on_browse();

  qorvant_converter& converter_;
  drop_down_combo* databases_;
  QLineEdit* destination_;
  QCheckBox* split_;
  bool databases_listed_ = false;
};
