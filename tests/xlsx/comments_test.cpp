// Cell comments: the parts written for each sheet that has some, the links
// that make readers find them, and whole workbooks read back by openpyxl and
// by LibreOffice, whose annotations must hold every comment's text on its cell.
#include "book_test_support.h"

#include "support/workbook_check.h"

#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"

#include "platform/format.h"
#include "support/libreoffice_profile.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace XlsxBook;
using book_test::command_output;
using book_test::env_var;
using book_test::quoted;
using book_test::utf8;

namespace {

std::string read_text(const std::filesystem::path& path)
{
  return read_file(path.string());
}

CommentData note(std::int32_t sheet, std::uint32_t column, std::uint32_t row,
                 std::vector<std::wstring> runs)
{
  CommentData comment;
  comment.sheet = sheet;
  comment.position = CommentData::Position(column, row);
  for (auto& text : runs) {
    CommentRunData run;
    run.text = std::move(text);
    comment.runs.push_back(std::move(run));
  }
  return comment;
}

class Comments : public book_test::book_fixture {
protected:
  std::filesystem::path part(const CWorkbook& book, const std::string& name) const
  {
    return std::filesystem::path(utf8(book.GetTempFolder())) / name;
  }
};

TEST_F(Comments, EachSheetGetsItsPartsAndShapeIdsRunOnAcrossSheets)
{
  const env_var user("USERNAME", std::string("Ann & <Bob>"));
  CWorkbook book;
  book.AddSheet2(L"one", {});
  book.AddSheet2(L"two", {});
  book.AddSheet2(L"three", {});
  // Added for sheets 2, 1, 2: sheet 1's part comes first and sheet 2 keeps its order.
  ASSERT_TRUE(book.AddComment(note(2, 27, 5, {L"first of two"})));
  ASSERT_TRUE(book.AddComment(note(1, 0, 1, {L"only of one"})));
  ASSERT_TRUE(book.AddComment(note(2, 1, 3, {L"second of two"})));
  const std::size_t parts_before = book.GetPartList().size();

  ASSERT_TRUE(book.WriteComments());
  const std::vector<std::wstring> added(book.GetPartList().begin() + static_cast<std::ptrdiff_t>(parts_before),
                                        book.GetPartList().end());
  EXPECT_EQ(added, (std::vector<std::wstring>{L"xl/comments1.xml", L"xl/drawings/vmlDrawing1.vml",
                                              L"xl/comments2.xml", L"xl/drawings/vmlDrawing2.vml"}));
  EXPECT_FALSE(std::filesystem::exists(part(book, "xl/comments3.xml")));
  for (const std::wstring& name : added)
    EXPECT_TRUE(book_test::xml_well_formed(part(book, utf8(name)).string()));

  const std::string one = read_text(part(book, "xl/comments1.xml"));
  EXPECT_NE(one.find("<authors><author>Ann &amp; &lt;Bob&gt;</author></authors>"), std::string::npos)
      << one;
  EXPECT_NE(one.find("<comment ref=\"A1\" authorId=\"0\">"), std::string::npos) << one;
  const std::string two = read_text(part(book, "xl/comments2.xml"));
  EXPECT_LT(two.find("ref=\"AB5\""), two.find("ref=\"B3\"")) << two;

  const std::string vml1 = read_text(part(book, "xl/drawings/vmlDrawing1.vml"));
  EXPECT_EQ(vml1.rfind("<xml ", 0), 0u) << "no declaration before the root";
  EXPECT_NE(vml1.find("id=\"_x0000_s1001\""), std::string::npos);
  EXPECT_NE(vml1.find("<x:Row>0</x:Row><x:Column>0</x:Column>"), std::string::npos) << vml1;
  const std::string vml2 = read_text(part(book, "xl/drawings/vmlDrawing2.vml"));
  EXPECT_LT(vml2.find("id=\"_x0000_s1002\""), vml2.find("id=\"_x0000_s1003\""));
  EXPECT_NE(vml2.find("<x:Row>4</x:Row><x:Column>27</x:Column>"), std::string::npos) << vml2;
}

TEST_F(Comments, RunsCarryTheirFontAndHostileTextStaysText)
{
  CWorkbook book;
  book.AddSheet2(L"s", {});
  CommentData comment = note(1, 2, 7, {L"  Bold</t><t>&amp;\u0001", L"line 1\nline 2 \u00e9\u20ac "});
  comment.runs[0].font.attributes = FontData::bold | FontData::strike;
  comment.runs[0].font.theme_colour = false;
  comment.runs[0].font.colour = L"FFFF0000";
  comment.runs[1].font.size = 9;
  comment.runs[1].font.name = L"A \"quoted\" & font";
  ASSERT_TRUE(book.AddComment(std::move(comment)));
  ASSERT_TRUE(book.AddComment(note(1, 0, 2, {})));  // no runs: an empty text
  ASSERT_TRUE(book.WriteComments());

  const std::filesystem::path path = part(book, "xl/comments1.xml");
  ASSERT_TRUE(book_test::xml_well_formed(path.string()));
  const std::string xml = read_text(path);
  EXPECT_NE(xml.find("<rPr><b/><strike/><sz val=\"11\"/><rFont val=\"Calibri\"/>"
                     "<charset val=\"1\"/><color rgb=\"FFFF0000\"/></rPr>"
                     "<t xml:space=\"preserve\">  Bold&lt;&#47;t&gt;&lt;t&gt;&amp;amp;</t>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<rFont val=\"A &quot;quoted&quot; &amp; font\"/>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<color theme=\"1\"/></rPr><t xml:space=\"preserve\">line 1\nline 2 "),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<comment ref=\"A2\" authorId=\"0\"><text/></comment>"), std::string::npos)
      << xml;
}

TEST_F(Comments, BoxStyleFollowsPositionVisibilityAndLineBreaks)
{
  struct box_case {
    std::int32_t left, top, width, height;
    bool hidden;
    std::wstring text;
    std::string style;
  };
  const std::vector<box_case> cases = {
      {10, 20, 100, 50, false, L"x",
       "position:absolute; margin-left:10pt;margin-top:20pt;width:100pt;height:50pt; z-index:2"},
      {10, 20, 100, 50, true, L"a\nb",
       "position:absolute; margin-left:10pt;margin-top:20pt;width:100pt;height:50pt; "
       "z-index:2;visibility:hidden;mso-wrap-style:tight"},
      {0, 0, 0, 50, false, L"x", ""},
      {-1, 0, 100, 50, true, L"x", ";visibility:hidden"},
      {0, 0, 100, 0, false, L"a\nb", ";mso-wrap-style:tight"},
  };
  CWorkbook book;
  book.AddSheet2(L"s", {});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CommentData comment = note(1, 0, static_cast<std::uint32_t>(i + 1), {cases[i].text});
    comment.left = cases[i].left;
    comment.top = cases[i].top;
    comment.width = cases[i].width;
    comment.height = cases[i].height;
    comment.hidden = cases[i].hidden;
    comment.fill_colour = L"#ffffe1";
    ASSERT_TRUE(book.AddComment(std::move(comment)));
  }
  ASSERT_TRUE(book.WriteComments());
  const std::string vml = read_text(part(book, "xl/drawings/vmlDrawing1.vml"));
  std::size_t from = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string expected = plat::sprintf(
        "<v:shape id=\"_x0000_s%zu\" type=\"#_x0000_t202\" style=\"%s\" fillcolor=\"#ffffe1\" "
        "o:insetmode=\"auto\"><v:fill color2=\"#ffffe1\"/>",
        1001 + i, cases[i].style);
    const std::size_t at = vml.find(expected, from);
    EXPECT_NE(at, std::string::npos) << "case " << i << ": " << expected << "\nin " << vml;
    if (at != std::string::npos)
      from = at;
  }
}

TEST_F(Comments, OnlyCellsOfOpenSheetsTakeComments)
{
  CWorkbook book;
  CWorksheet* first = book.AddSheet2(L"s", {});
  book.AddSheet2(L"t", {});
  EXPECT_FALSE(book.AddComment(note(3, 0, 1, {L"no such sheet"})));
  EXPECT_FALSE(book.AddComment(note(0, 0, 1, {L"no sheet 0"})));
  EXPECT_FALSE(book.AddComment(note(1, 0, 0, {L"row 0"})));
  EXPECT_FALSE(book.AddComment(note(1, 16384, 1, {L"past XFD"})));
  EXPECT_FALSE(book.AddComment(note(1, 0, 1048577, {L"past the last row"})));
  EXPECT_TRUE(book.AddComment(note(1, 16383, 1048576, {L"the last cell"})));
  EXPECT_FALSE(book.AddComment(note(1, 16383, 1048576, {L"a second one on that cell"})));
  EXPECT_TRUE(book.AddComment(note(2, 16383, 1048576, {L"the same cell of another sheet"})));
  ASSERT_TRUE(first->Save());
  EXPECT_FALSE(book.AddComment(note(1, 0, 1, {L"sheet saved already"})));
  EXPECT_EQ(book.GetComments().size(), 2u);
  EXPECT_TRUE(first->m_hasComments);
  EXPECT_TRUE(book.GetSheets()[1]->m_hasComments);
}

TEST_F(Comments, WithoutCommentsNothingIsWrittenOrLinked)
{
  CWorkbook book;
  book.AddSheet2(L"s", {});
  const std::vector<std::wstring> parts = book.GetPartList();
  ASSERT_TRUE(book.WriteComments());
  ASSERT_TRUE(book.WriteContentTypes());
  EXPECT_EQ(book.GetPartList(), parts);
  EXPECT_FALSE(std::filesystem::exists(part(book, "xl/drawings")));
  const std::string types = read_text(part(book, "[Content_Types].xml"));
  EXPECT_EQ(types.find("vml"), std::string::npos);
  EXPECT_EQ(types.find("comments"), std::string::npos);
}

// The sheets with comments are linked to their parts, and a workbook full of
// awkward comments opens in openpyxl and in LibreOffice with each one on its cell.
TEST_F(Comments, WorkbookWithCommentsReadsBackInOpenpyxlAndLibreOffice)
{
  const env_var user("USERNAME", std::string("Zoë & <Co>"));
  const std::string path = out("notes.xlsx");
  struct expected_note {
    std::int32_t sheet;
    std::uint32_t column, row;
    std::vector<std::wstring> runs;
  };
  const std::vector<expected_note> notes = {
      {1, 0, 1, {L"plain"}},
      {1, 2, 3, {L"Bold start, ", L"then plain"}},
      {2, 1, 2, {L"line one\nline two\nline three"}},
      {1, 27, 40, {L"caf\u00e9 \u65e5\u672c \u20ac \U0001F600"}},
      {2, 0, 5, {L"<script>&amp;\"quotes\" 'apostrophes' \\ / _x0041_"}},
      {3, 3, 1, {L"  leading and trailing  "}},
  };
  {
    CWorkbook book;
    for (const wchar_t* title : {L"Data", L"It's data", L"Third"}) {
      CWorksheet* sheet = book.AddSheet2(title, {});
      for (std::uint32_t row = 0; row < 3; ++row) {
        sheet->OpenRow();
        sheet->AddCell(CellDataStr{L"text"});
        sheet->AddCell(CellDataDbl{row * 1.5});
      }
    }
    for (const expected_note& n : notes) {
      CommentData comment = note(n.sheet, n.column, n.row, n.runs);
      if (comment.runs.size() > 1)
        comment.runs[0].font.attributes = FontData::bold;
      ASSERT_TRUE(book.AddComment(std::move(comment)));
    }
    ASSERT_TRUE(book.Save(book_test::wide(path))) << book.GetSaveError();
  }

  // Every part of the package is well-formed, and each commented sheet is linked.
  const std::filesystem::path unpacked = dir_.path() / "unpacked";
  int status = 0;
  command_output("unzip -q " + quoted(path) + " -d " + quoted(unpacked.string()), &status);
  ASSERT_EQ(status, 0);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(unpacked)) {
    if (entry.is_regular_file()) {
      EXPECT_TRUE(book_test::xml_well_formed(entry.path().string())) << entry.path();
    }
  }
  for (int n = 1; n <= 3; ++n) {
    const std::string sheet = read_text(unpacked / plat::sprintf("xl/worksheets/sheet%d.xml", n));
    EXPECT_NE(sheet.find("<legacyDrawing r:id=\"rId1\"/>"), std::string::npos) << n;
    EXPECT_TRUE(std::filesystem::exists(
        unpacked / plat::sprintf("xl/worksheets/_rels/sheet%d.xml.rels", n)));
  }

  // The expected notes for the readers: sheet title, cell, text (runs joined).
  std::string expected = "{\"author\": " + workbook_check::json_text("Zoë & <Co>") + ", \"notes\": [";
  const std::vector<std::string> titles = {"Data", "It's data", "Third"};
  for (const expected_note& n : notes) {
    std::wstring text;
    for (const auto& run : n.runs)
      text += run;
    if (expected.back() != '[')
      expected += ",";
    expected += "[" + workbook_check::json_text(titles[static_cast<std::size_t>(n.sheet - 1)]) + "," +
                workbook_check::json_text(utf8(CWorksheet::MakeCellRef(n.column, n.row))) + "," +
                workbook_check::json_text(utf8(text)) + "]";
  }
  expected += "]}";
  const std::string expected_path = (dir_.path() / "expected.json").string();
  std::ofstream(expected_path) << expected;
  const std::string checker =
      (std::filesystem::path(__FILE__).parent_path() / "check_comments.py").string();
  const std::string said =
      command_output("/usr/bin/python3 " + quoted(checker) + " " + quoted(path) + " " +
                         quoted(dir_.path().string()) + " " + quoted(expected_path) + " " +
                         quoted(test_support::libreoffice_profile(dir_.path().string())) + " 2>&1",
                     &status);
  EXPECT_EQ(status, 0) << said;
}

} // namespace
