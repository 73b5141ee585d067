// The format page. Its list shows the converter's format descriptors in format
// order, so an item's index is the format_version it stands for.
#include "GUI2/format_page.h"

#include "GUI2/database_page.h"
#include "GUI2/guarded_call.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"

#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"
#include "common/xls_engi.h"
#include "platform/case_fold.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <string_view>

namespace {

const xls_engine& descriptor(std::uint32_t format_version)
{
  const xls_engine* engine = xls_engines[format_version];
  if (engine == nullptr)
    throw tk_mail_assertion("qvt_shel", 406);
  return *engine;
}

bool ends_with_no_case(std::wstring_view text, std::wstring_view tail)
{
  return text.size() >= tail.size() && plat::equal_no_case(text.substr(text.size() - tail.size()), tail);
}

} // namespace

std::wstring destination_for_format(const std::wstring& path, std::uint32_t format_version)
{
  if (format_version >= xls_format_count)
    return path;
  const std::wstring wanted = std::wstring(L".") + workbook_extension(format_version);
  const std::wstring other = format_version < xls_format_excel_2010 ? L".xlsx" : L".xls";
  if (!ends_with_no_case(path, other))
    return path;
  return path.substr(0, path.size() - other.size()) + wanted;
}

format_page::format_page(qorvant_converter& converter)
    : wizard_page(page_format, wizb_back | wizb_next, psp_has_help), converter_(converter)
{
  setObjectName(QStringLiteral("format_page"));
  set_header(QStringLiteral("Step 4 of 5"), QStringLiteral("Format settings"));
  auto* page = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("On this wizard page you can specify how the resulting spreadsheet should be formatted."));
  intro->setWordWrap(true);
  page->addWidget(intro);

  auto* format_row = new QHBoxLayout;
  formats_ = new QComboBox(this);
  set_control_id(*formats_, 1302);
  auto* format_label = new QLabel(QStringLiteral("&Format version:"));
  format_label->setBuddy(formats_);
  format_row->addWidget(format_label);
  format_row->addWidget(formats_, 1);
  page->addLayout(format_row);

  auto* description = new QGroupBox(QStringLiteral(" Descriprtion "));
  auto* description_box = new QVBoxLayout(description);
  note_ = new QLabel(description);
  set_control_id(*note_, 1320);
  note_->setWordWrap(true);
  note_->setMinimumHeight(note_->fontMetrics().lineSpacing() * 2);
  description_box->addWidget(note_);
  page->addWidget(description);

  const auto make_box = [this, page](int id, const char* text) {
    auto* box = new QCheckBox(QString::fromUtf8(text), this);
    set_control_id(*box, id);
    page->addWidget(box);
    return box;
  };
  blob_to_text_ = make_box(1204, "Convert BLOB to &Text");
  dates_to_strings_ = make_box(1202, "&Convert dates into strings");
  wrap_text_ = make_box(1203, "&Wrap text into multiple lines in a cell");
  page->addStretch();

  connect(formats_, &QComboBox::activated, this,
          [this](int index) { gui::guarded([this, index] { on_format_chosen(index); }); });
}

int format_page::page_init()
{
  tk_log_message(1, "format_page::page_init");
  dates_to_strings_->setChecked(converter_.dates_to_strings);
  wrap_text_->setChecked(converter_.wrap_text);
  blob_to_text_->setChecked(converter_.blob_to_text);
  if (!listed_) {
    formats_->clear();
    for (std::uint32_t i = 0; i < xls_format_count; ++i)
      formats_->addItem(QString::fromStdWString(descriptor(i).name));
    listed_ = true;
  }
  // A format no descriptor has (a converter whose format was never given)
  // selects nothing.
  const std::uint32_t format = converter_.format_version;
  formats_->setCurrentIndex(format < xls_format_count ? static_cast<int>(format) : -1);
  show_note(format);
  return 1;
}

void format_page::show_note(std::uint32_t format_version)
{
  note_->setText(format_version < xls_format_count ? QString::fromStdString(descriptor(format_version).note)
                                                   : QString());
}

void format_page::on_format_chosen(int index)
{
  if (index < 0 || index >= static_cast<int>(xls_format_count))
    return;
  tk_log_message(1, "format_page::on_format_chosen(%d)", index);
  converter_.format_version = static_cast<std::uint32_t>(index);
  show_note(converter_.format_version);
}

void format_page::store_settings()
{
  converter_.dates_to_strings = dates_to_strings_->isChecked();
  converter_.set_wrap_text(wrap_text_->isChecked());
  converter_.blob_to_text = blob_to_text_->isChecked();
}

int format_page::on_next()
{
  tk_log_message(1, "format_page::on_next");
  store_settings();
  // A destination named for the other format is renamed for this one; the
  // new name must pass the same checks as a destination typed on its page.
  const std::wstring renamed = destination_for_format(converter_.destination, converter_.format_version);
  if (renamed == converter_.destination)
    return go_adjacent;
  try {
    if (!may_write_destination(renamed))
      return stay;
  } catch (const tk_exception& e) {
    wizard_shell::error(e.get_message());
    return stay;
  }
  tk_log_message(2, L"Destination follows the format: %s", renamed);
  converter_.destination = renamed;
  return go_adjacent;
}

int format_page::on_back()
{
  store_settings();
  return go_adjacent;
}

void format_page::on_help()
{
  wizard_shell::display_help(help_page);
}

std::unique_ptr<wizard_page> make_format_page(qorvant_converter& converter)
{
  return std::make_unique<format_page>(converter);
}
