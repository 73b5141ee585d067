// The format page on real widgets: the three formats with their notes, the
// format taken at the pick and the options at Next and Back, the check box the
// date-range report names, and a destination whose extension follows the
// format, asking before it names an existing file.
#include "GUI2/format_page.h"
#include "GUI2/neighbour_page.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/help_window.h"
#include "GUI2/wizard_shell.h"
#include "gui_test_support.h"

#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "common/xls_engi.h"
#include "support/temp_dir.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

template <class T>
T& control(QWidget& page, int id)
{
  auto* found = page.findChild<T*>(QStringLiteral("c%1").arg(id));
  EXPECT_NE(found, nullptr) << id;
  return *found;
}

// Picks the row from the open list as a user would: Return on it.
void pick(QComboBox& box, int row)
{
  box.showPopup();
  box.view()->setCurrentIndex(box.model()->index(row, 0));
  QTest::keyClick(box.view(), Qt::Key_Return);
}

// The page between two neighbour pages in a shell.
struct format_fixture {
  format_fixture()
  {
    shell.add_page(before);
    shell.add_page(page);
    shell.add_page(after);
    shell.resize(640, 480);
    shell.show();
    shell.start();
  }
  void enter()
  {
    shell.go_to(page_tables);
    shell.press_next();
    ASSERT_EQ(shell.current_page(), &page);
  }
  QComboBox& formats() { return control<QComboBox>(page, 1302); }
  QString note() { return control<QLabel>(page, 1320).text(); }

  qorvant_converter converter{qvt_program::console};
  wizard_shell shell{QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap()};
  neighbour_page before{page_tables, wizb_back | wizb_next, psp_has_help, QStringLiteral("Step 3 of 5"),
                          QStringLiteral("Select tables")};
  format_page page{converter};
  neighbour_page after{page_progress, wizb_back | wizb_next, psp_has_help, QStringLiteral("Step 5 of 5"),
                         QStringLiteral("Database conversion is in progress")};
};

} // namespace

TEST(FormatPage, ListsTheThreeFormatsWithTheirNotesAndTakesAPickAtOnce)
{
  format_fixture f;
  f.converter.format_version = xls_format_excel_2000;
  f.enter();
  EXPECT_EQ(f.page.header_title(), QStringLiteral("Step 4 of 5"));
  EXPECT_EQ(f.page.header_subtitle(), QStringLiteral("Format settings"));
  QComboBox& box = f.formats();
  ASSERT_EQ(box.count(), 3);
  EXPECT_EQ(box.itemText(0), QStringLiteral("Excel 5.0"));
  EXPECT_EQ(box.itemText(1), QStringLiteral("Excel 2000"));
  EXPECT_EQ(box.itemText(2), QStringLiteral("Excel 2010-2016"));
  EXPECT_EQ(box.currentIndex(), 1);
  EXPECT_EQ(f.note(), QStringLiteral("Destination spreadsheet will be saved in MS Excel 2000 format.\n"
                                     "Each worksheet can contain not more than 65535 rows."));

  const QString notes[] = {
      QStringLiteral("Destination spreadsheet will be saved in MS Excel 5.0 format.\n"
                     "All strings will be cut to 254 symbols."),
      QStringLiteral("Destination spreadsheet will be saved in MS Excel 2000 format.\n"
                     "Each worksheet can contain not more than 65535 rows."),
      QStringLiteral("Destination spreadsheet will be saved in the latest MS Excel format.\n"
                     "You will not be able to open it with earlier versions of MS Excel."),
  };
  for (int row : {2, 0, 1}) {
    pick(box, row);
    // Taken without Next or Back.
    EXPECT_EQ(f.converter.format_version, static_cast<std::uint32_t>(row));
    EXPECT_EQ(f.note(), notes[row]);
  }
  pick(box, 2);
  save_screen(f.shell, QStringLiteral("format"));

  // Back keeps the pick, and the page shows it again; the list is not doubled.
  f.shell.press_back();
  EXPECT_EQ(f.converter.format_version, xls_format_excel_2010);
  f.shell.press_next();
  EXPECT_EQ(box.count(), 3);
  EXPECT_EQ(box.currentIndex(), 2);
  EXPECT_EQ(f.note(), notes[2]);
}

TEST(FormatPage, TheOptionsAreStoredOnNextAndOnBackAndTheWrapFlagInEveryFormat)
{
  struct option_case {
    bool blob, dates, wrap;
    bool next;  // else Back
  };
  const std::vector<option_case> cases = {
      {true, false, true, true},
      {false, true, false, false},
      {true, true, true, false},
      {false, false, false, true},
  };
  format_fixture f;
  f.converter.format_version = xls_format_excel_2010;
  f.converter.destination = L"/tmp/qvt_format_test_none.xlsx";
  for (const option_case& c : cases) {
    // The boxes start from the converter, then are clicked to the case.
    f.converter.blob_to_text = !c.blob;
    f.converter.dates_to_strings = !c.dates;
    f.converter.set_wrap_text(!c.wrap);
    f.enter();
    auto& blob = control<QCheckBox>(f.page, 1204);
    auto& dates = control<QCheckBox>(f.page, 1202);
    auto& wrap = control<QCheckBox>(f.page, 1203);
    EXPECT_EQ(blob.isChecked(), !c.blob);
    EXPECT_EQ(dates.isChecked(), !c.dates);
    EXPECT_EQ(wrap.isChecked(), !c.wrap);
    blob.click();
    dates.click();
    wrap.click();
    // Not before the page is left.
    EXPECT_EQ(f.converter.blob_to_text, !c.blob);
    if (c.next)
      f.shell.press_next();
    else
      f.shell.press_back();
    EXPECT_EQ(f.shell.current_page(), c.next ? &f.after : &f.before);
    EXPECT_EQ(f.converter.blob_to_text, c.blob);
    EXPECT_EQ(f.converter.dates_to_strings, c.dates);
    EXPECT_EQ(f.converter.wrap_text, c.wrap);
    for (const xls_engine* engine : xls_engines)
      EXPECT_EQ(engine->wrap, c.wrap) << engine->name;
  }
}

TEST(FormatPage, TheDateRangeReportNamesTheCheckBoxThisPageShows)
{
  format_fixture f;
  f.converter.format_version = xls_format_excel_2000;
  f.converter.destination = L"/tmp/qvt_format_test_none.xls";
  f.enter();
  const QString label = control<QCheckBox>(f.page, 1202).text().remove(QLatin1Char('&'));
  const std::string report = date_range_error_map[0].text;
  const std::string named = QStringLiteral("\"%1\" checkbox").arg(label).toStdString();
  EXPECT_NE(report.find(named), std::string::npos) << report;
}

TEST(FormatPage, TheDestinationNamedForTheOtherFormatTakesThisFormatsExtension)
{
  struct rename_case {
    std::wstring path;
    std::uint32_t format;
    std::wstring renamed;
  };
  const std::vector<rename_case> cases = {
      {L"/tmp/shop.xls", xls_format_excel_2010, L"/tmp/shop.xlsx"},
      {L"/tmp/shop.XLSX", xls_format_excel_50, L"/tmp/shop.xls"},
      {L"/tmp/shop.xlsx", xls_format_excel_2000, L"/tmp/shop.xls"},
      {L"rel/Shop.Xls", xls_format_excel_2010, L"rel/Shop.xlsx"},
      {L"/tmp/shop.xls", xls_format_excel_2000, L"/tmp/shop.xls"},
      {L"/tmp/shop.xlsx", xls_format_excel_2010, L"/tmp/shop.xlsx"},
      {L"/tmp/shop.csv", xls_format_excel_2010, L"/tmp/shop.csv"},
      {L"/tmp/shop.xls.bak", xls_format_excel_2010, L"/tmp/shop.xls.bak"},
      {L"", xls_format_excel_2010, L""},
      {L"/tmp/shop.xls", xls_format_not_given, L"/tmp/shop.xls"},
  };
  for (const rename_case& c : cases)
    EXPECT_EQ(destination_for_format(c.path, c.format), c.renamed) << c.path << L" " << c.format;
}

TEST(FormatPage, NextRenamesTheDestinationForTheFormatAndAsksBeforeAnExistingFile)
{
  const temp_dir dir;
  const std::string old_bytes = "an older workbook";
  write_file(dir.file("taken.xlsx"), old_bytes);
  std::filesystem::create_directory(dir.file("folder.xlsx"));
  enum answer { none, no, yes };
  struct next_case {
    const char* what;
    std::string destination;  // an .xls path; the page goes to .xlsx
    QString box_text;         // empty: no box
    answer reply;
    bool moves_on;
    std::string stored;  // the destination after Next
  };
  const std::vector<next_case> cases = {
      {"free name", dir.file("free.xls"), QString(), none, true, dir.file("free.xlsx")},
      {"existing, No", dir.file("taken.XLS"), QStringLiteral("Destination file already exists. Overwrite?"), no,
       false, dir.file("taken.XLS")},
      {"existing, Yes", dir.file("taken.xls"), QStringLiteral("Destination file already exists. Overwrite?"), yes,
       true, dir.file("taken.xlsx")},
      {"a folder", dir.file("folder.xls"), QStringLiteral("Destination name should specify a file, not folder."),
       none, false, dir.file("folder.xls")},
  };
  for (const next_case& c : cases) {
    format_fixture f;
    f.converter.format_version = xls_format_excel_2000;
    f.converter.destination = QString::fromStdString(c.destination).toStdWString();
    f.enter();
    pick(f.formats(), static_cast<int>(xls_format_excel_2010));
    const box_answer seen(c.reply == yes ? QMessageBox::Yes : QMessageBox::NoButton);
    f.shell.press_next();
    EXPECT_EQ(f.shell.current_page(), c.moves_on ? static_cast<wizard_page*>(&f.after) : &f.page) << c.what;
    EXPECT_EQ(seen.text, c.box_text) << c.what;
    EXPECT_EQ(f.converter.destination, QString::fromStdString(c.stored).toStdWString()) << c.what;
    EXPECT_EQ(read_file(dir.file("taken.xlsx")), old_bytes) << c.what;
  }
}

TEST(FormatPage, HelpOpensItsOwnTopic)
{
  format_fixture f;
  wizard_shell::set_help_folder(std::filesystem::path(QORVANT_PATH).parent_path().append("help").string());
  f.converter.format_version = xls_format_excel_2010;
  f.enter();
  f.shell.press_help();
  wizard_shell::set_help_folder({});
  ASSERT_NE(help_window::current(), nullptr);
  EXPECT_EQ(help_window::current()->page(), QStringLiteral("1011.html"));
}
