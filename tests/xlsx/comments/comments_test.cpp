// Cell comments: the parts written for each sheet that has some, the links
// that make readers find them, and whole workbooks read back by openpyxl and
// by LibreOffice, whose annotations must hold every comment's text on its cell.
#include "xlsx/book_test_support.h"

#include "support/workbook_check.h"

#include "xlsx/comments/comments.h"
#include "xlsx/part_folder.h"
#include "xlsx/part_writers.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"

#include "base/format.h"
#include "support/libreoffice_profile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <limits>
#include <regex>

using namespace XlsxBook;
using book_test::command_output;
using book_test::env_var;
using book_test::quoted;

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
    return std::filesystem::path(plat::to_utf8(book.GetTempFolder())) / name;
  }
};

TEST_F(Comments, EachSheetGetsItsPartsInSheetOrder)
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

  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteComments(book.GetComments(), parts));
  const std::vector<std::wstring> added(book.GetPartList().begin() + static_cast<std::ptrdiff_t>(parts_before),
                                        book.GetPartList().end());
  EXPECT_EQ(added, (std::vector<std::wstring>{L"xl/comments1.xml", L"xl/drawings/vmlDrawing1.vml",
                                              L"xl/comments2.xml", L"xl/drawings/vmlDrawing2.vml"}));
  EXPECT_FALSE(std::filesystem::exists(part(book, "xl/comments3.xml")));
  for (const std::wstring& name : added)
    EXPECT_TRUE(book_test::xml_well_formed(part(book, plat::to_utf8(name)).string()));

  const std::string one = read_text(part(book, "xl/comments1.xml"));
  EXPECT_NE(one.find("<authors><author>Ann &amp; &lt;Bob&gt;</author></authors>"), std::string::npos)
      << one;
  EXPECT_NE(one.find("<comment ref=\"A1\" authorId=\"0\">"), std::string::npos) << one;
  const std::string two = read_text(part(book, "xl/comments2.xml"));
  EXPECT_LT(two.find("ref=\"AB5\""), two.find("ref=\"B3\"")) << two;

  const std::string vml1 = read_text(part(book, "xl/drawings/vmlDrawing1.vml"));
  EXPECT_EQ(vml1.rfind("<xml ", 0), 0u) << "no declaration before the root";
  EXPECT_NE(vml1.find("<x:Row>0</x:Row><x:Column>0</x:Column>"), std::string::npos) << vml1;
  const std::string vml2 = read_text(part(book, "xl/drawings/vmlDrawing2.vml"));
  EXPECT_LT(vml2.find("<x:Row>4</x:Row><x:Column>27</x:Column>"),
            vml2.find("<x:Row>2</x:Row><x:Column>1</x:Column>"))
      << vml2;
}

// A drawing claims blocks of 1,024 shape ids (block n holds n*1024 up to
// n*1024+1023) that no other drawing of the workbook claims, and every shape id
// lies inside them, also past 1,023 notes on one sheet.
TEST_F(Comments, EachDrawingNumbersItsShapesInsideBlocksOfItsOwn)
{
  struct Case {
    std::uint32_t notes;
    std::string idmap;
    std::uint64_t first_id, last_id;
  };
  const Case cases[] = {
      {1, "1", 1025, 1025},
      {2, "2", 2049, 2050},
      {1023, "3", 3073, 4095},       // fills its block
      {1024, "4,5", 4097, 5120},     // the last one starts the next block
      {2100, "6,7,8", 6145, 8244},
  };
  CWorkbook book;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    book.AddSheet2(L"s", {});
    for (std::uint32_t n = 0; n < cases[i].notes; ++n)
      ASSERT_TRUE(
          book.AddComment(note(static_cast<std::int32_t>(i + 1), n % 100, n / 100 + 1, {L"x"})));
  }
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteComments(book.GetComments(), parts));
  const std::regex idmap("<o:idmap v:ext=\"edit\" data=\"([0-9,]*)\"/>");
  const std::regex shape_id("<v:shape id=\"_x0000_s([0-9]+)\"");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string vml =
        read_text(part(book, base::sprintf("xl/drawings/vmlDrawing%zu.vml", i + 1)));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(vml, found, idmap)) << i;
    EXPECT_EQ(found[1], c.idmap) << i;
    std::vector<std::uint64_t> ids;
    for (auto it = std::sregex_iterator(vml.begin(), vml.end(), shape_id);
         it != std::sregex_iterator(); ++it)
      ids.push_back(std::stoull((*it)[1]));
    ASSERT_EQ(ids.size(), c.notes) << i;
    for (std::size_t k = 0; k < ids.size(); ++k)
      ASSERT_EQ(ids[k], c.first_id + k) << i;
    EXPECT_EQ(ids.back(), c.last_id) << i;
  }
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
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteComments(book.GetComments(), parts));

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

// A box placed by the caller is drawn where it says; a box without a position
// and a size of its own is the default box beside its cell (two columns by four
// rows, from the row above, starting just right of the cell or at the grid's
// end ending at its left edge, and higher up at the last rows), given in points
// and anchored to the cells.
TEST_F(Comments, BoxStyleFollowsPlacementVisibilityAndLineBreaks)
{
  const auto default_box = [](const char* points, const char* more) {
    return std::string("position:absolute; ") + points + ";width:96pt;height:60pt; z-index:2" +
           more;
  };
  struct box_case {
    std::uint32_t column, row;
    std::int32_t left, top, width, height;
    bool hidden;
    std::wstring text;
    std::string style;
    std::string anchor;  // empty: none
  };
  const std::vector<box_case> cases = {
      {0, 1, 10, 20, 100, 50, false, L"x",
       "position:absolute; margin-left:10pt;margin-top:20pt;width:100pt;height:50pt; z-index:2", ""},
      {0, 2, 10, 20, 100, 50, true, L"a\nb",
       "position:absolute; margin-left:10pt;margin-top:20pt;width:100pt;height:50pt; "
       "z-index:2;visibility:hidden;mso-wrap-style:tight",
       ""},
      {0, 3, 0, 0, 0, 50, false, L"x", default_box("margin-left:60pt;margin-top:21pt", ""),
       "1, 16, 1, 8, 3, 16, 5, 8"},
      {0, 4, -1, 0, 100, 50, true, L"x",
       default_box("margin-left:60pt;margin-top:36pt", ";visibility:hidden"),
       "1, 16, 2, 8, 3, 16, 6, 8"},
      {0, 5, 0, 0, 100, 0, false, L"a\nb",
       default_box("margin-left:60pt;margin-top:51pt", ";mso-wrap-style:tight"),
       "1, 16, 3, 8, 3, 16, 7, 8"},
      {1, 1, 0, 0, 0, 0, false, L"x", default_box("margin-left:108pt;margin-top:6pt", ""),
       "2, 16, 0, 8, 4, 16, 4, 8"},
      {16380, 10, 0, 0, 0, 0, false, L"x", default_box("margin-left:786300pt;margin-top:126pt", ""),
       "16381, 16, 8, 8, 16383, 16, 12, 8"},
      // Ending at the cell's left edge, in points too.
      {16381, 10, 0, 0, 0, 0, false, L"x", default_box("margin-left:786192pt;margin-top:126pt", ""),
       "16379, 0, 8, 8, 16381, 0, 12, 8"},
      {16383, 1048576, 0, 0, 0, 0, false, L"x",
       default_box("margin-left:786288pt;margin-top:15728571pt", ""),
       "16381, 0, 1048571, 8, 16383, 0, 1048575, 8"},
  };
  CWorkbook book;
  book.AddSheet2(L"s", {});
  for (const box_case& c : cases) {
    CommentData comment = note(1, c.column, c.row, {c.text});
    comment.left = c.left;
    comment.top = c.top;
    comment.width = c.width;
    comment.height = c.height;
    comment.hidden = c.hidden;
    comment.fill_colour = L"#ffffe1";
    ASSERT_TRUE(book.AddComment(std::move(comment)));
  }
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteComments(book.GetComments(), parts));
  const std::string vml = read_text(part(book, "xl/drawings/vmlDrawing1.vml"));
  std::size_t from = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string expected = base::sprintf(
        "<v:shape id=\"_x0000_s%zu\" type=\"#_x0000_t202\" style=\"%s\" fillcolor=\"#ffffe1\" "
        "o:insetmode=\"auto\"><v:fill color2=\"#ffffe1\"/>",
        1025 + i, cases[i].style);
    const std::size_t at = vml.find(expected, from);
    ASSERT_NE(at, std::string::npos) << "case " << i << ": " << expected << "\nin " << vml;
    from = vml.find("</v:shape>", at);
    const std::string client = vml.substr(at, from - at);
    const std::string anchor =
        cases[i].anchor.empty() ? "" : "<x:Anchor>" + cases[i].anchor + "</x:Anchor>";
    EXPECT_NE(client.find("<x:SizeWithCells/>" + anchor + "<x:AutoFill>"), std::string::npos)
        << "case " << i << ": " << client;
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

// Readers refuse a whole workbook over a font colour that is no hex value and
// draw a box placed past the sheet nowhere they show: both are refused when
// the comment is added. Either hex form is taken for either colour and written
// in the form its reader takes.
TEST_F(Comments, ColoursAreHexWithOrWithoutHashAndPlacedBoxesLieOnTheSheet)
{
  constexpr std::int32_t far = std::numeric_limits<std::int32_t>::max();
  struct Case {
    const char* what;
    std::function<void(CommentData&)> set;
    std::string written;  // in the comments part or the drawing; empty: refused
  };
  const auto font_colour = [](std::wstring colour) {
    return [colour](CommentData& c) {
      c.runs[0].font.theme_colour = false;
      c.runs[0].font.colour = colour;
    };
  };
  const auto fill = [](std::wstring colour) {
    return [colour](CommentData& c) { c.fill_colour = colour; };
  };
  const auto box = [](std::int32_t left, std::int32_t top, std::int32_t width,
                      std::int32_t height) {
    return [=](CommentData& c) {
      c.left = left;
      c.top = top;
      c.width = width;
      c.height = height;
    };
  };
  const Case cases[] = {
      {"font RRGGBB", font_colour(L"FF0000"), "<color rgb=\"FFFF0000\"/>"},
      {"font #RRGGBB", font_colour(L"#00ff7f"), "<color rgb=\"FF00ff7f\"/>"},
      {"font AARRGGBB", font_colour(L"80123456"), "<color rgb=\"80123456\"/>"},
      {"font #AARRGGBB", font_colour(L"#80ABCDEF"), "<color rgb=\"80ABCDEF\"/>"},
      {"font name", font_colour(L"red"), ""},
      {"font of five digits", font_colour(L"12345"), ""},
      {"font of seven digits", font_colour(L"#1234567"), ""},
      {"font not hex", font_colour(L"GG0000"), ""},
      {"font # alone", font_colour(L"#"), ""},
      {"theme font's unused text",
       [](CommentData& c) { c.runs[0].font.colour = L"red"; }, "<color theme=\"1\"/>"},
      {"fill #RRGGBB", fill(L"#C0FFEE"), "fillcolor=\"#C0FFEE\""},
      {"fill RRGGBB", fill(L"ffffe1"), "fillcolor=\"#ffffe1\""},
      {"fill name", fill(L"red"), ""},
      {"fill with alpha", fill(L"#80ffffe1"), ""},
      {"fill empty", fill(L""), ""},
      {"box filling the sheet", box(0, 0, 786432, 15728640),
       "margin-left:0pt;margin-top:0pt;width:786432pt;height:15728640pt"},
      {"box a point past the last column", box(786400, 0, 33, 10), ""},
      {"box a point past the last row", box(0, 15728600, 10, 41), ""},
      {"box far below", box(0, far, 100, 50), ""},
      {"box far right and wide", box(far, 0, far, 50), ""},
      {"no placement however far", box(far, far, 0, 0), "margin-left:60pt"},
  };
  CWorkbook book;
  book.AddSheet2(L"s", {});
  std::vector<const Case*> accepted;
  for (const Case& c : cases) {
    CommentData comment = note(1, 0, static_cast<std::uint32_t>(accepted.size() + 1), {L"x"});
    c.set(comment);
    EXPECT_EQ(book.AddComment(std::move(comment)), !c.written.empty()) << c.what;
    if (!c.written.empty())
      accepted.push_back(&c);
  }
  ASSERT_EQ(book.GetComments().size(), accepted.size());
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteComments(book.GetComments(), parts));
  const std::string texts = read_text(part(book, "xl/comments1.xml"));
  const std::string vml = read_text(part(book, "xl/drawings/vmlDrawing1.vml"));
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    // Each accepted case is the comment on row i + 1.
    const std::size_t comment_at = texts.find(base::sprintf("ref=\"A%zu\"", i + 1));
    const std::size_t shape_at = vml.find(base::sprintf("<x:Row>%zu</x:Row>", i));
    ASSERT_NE(comment_at, std::string::npos) << accepted[i]->what;
    ASSERT_NE(shape_at, std::string::npos) << accepted[i]->what;
    const std::string comment =
        texts.substr(comment_at, texts.find("</comment>", comment_at) - comment_at);
    const std::size_t shape_start = vml.rfind("<v:shape ", shape_at);
    const std::string drawn = vml.substr(shape_start, shape_at - shape_start);
    EXPECT_TRUE(comment.find(accepted[i]->written) != std::string::npos ||
                drawn.find(accepted[i]->written) != std::string::npos)
        << accepted[i]->what << ":\n" << comment << "\n" << drawn;
  }
}

TEST_F(Comments, WithoutCommentsNothingIsWrittenOrLinked)
{
  CWorkbook book;
  book.AddSheet2(L"s", {});
  const std::vector<std::wstring> parts = book.GetPartList();
  PartFolder folder = book.Parts();
  ASSERT_TRUE(WriteComments(book.GetComments(), folder));
  ASSERT_TRUE(WriteContentTypes(book, folder));
  EXPECT_EQ(book.GetPartList(), parts);
  EXPECT_FALSE(std::filesystem::exists(part(book, "xl/drawings")));
  const std::string types = read_text(part(book, "[Content_Types].xml"));
  EXPECT_EQ(types.find("vml"), std::string::npos);
  EXPECT_EQ(types.find("comments"), std::string::npos);
}

// The sheets with comments are linked to their parts, and a workbook full of
// awkward comments opens in openpyxl and in LibreOffice with each one on its
// cell, in the box it was given or else in a readable one beside the cell, also
// past 1,024 notes on one sheet.
TEST_F(Comments, WorkbookWithCommentsReadsBackInOpenpyxlAndLibreOffice)
{
  const env_var user("USERNAME", std::string("Zoë & <Co>"));
  const std::string path = out("notes.xlsx");
  struct expected_note {
    std::int32_t sheet;
    std::uint32_t column, row;
    std::vector<std::wstring> runs;
    std::int32_t left = 0, top = 0, width = 0, height = 0;  // points; no size: beside the cell
    std::wstring font_colour = {}, fill_colour = L"#ffffe1";
  };
  std::vector<expected_note> notes = {
      {1, 0, 1, {L"plain"}},
      {1, 2, 3, {L"Bold start, ", L"then plain"}, 200, 100, 150, 80},
      {2, 1, 2, {L"line one\nline two\nline three"}},
      {1, 27, 40, {L"caf\u00e9 \u65e5\u672c \u20ac \U0001F600"}, 10, 700, 90, 40},
      {2, 0, 5, {L"<script>&amp;\"quotes\" 'apostrophes' \\ / _x0041_"}},
      {3, 3, 1, {L"  leading and trailing  "}},
      // Colours in either hex form; at the last column the box ends left of its cell.
      {1, 16383, 2, {L"last column, red on green"}, 0, 0, 0, 0, L"#FF0000", L"C0FFC0"},
      {2, 16382, 1, {L"next to last, blue on grey"}, 0, 0, 0, 0, L"0000ff", L"#e0e0e0"},
      {2, 16383, 1048576, {L"the last cell"}},
      // A placed box may reach the sheet's far corner, and no further.
      {3, 16382, 1048575, {L"placed in the corner"}, 786336, 15728580, 96, 60},
  };
  for (std::uint32_t n = 0; n < 1100; ++n)
    notes.push_back({3, 5 + n % 10, 10 + n / 10, {base::sprintf(L"note %u", n)}});
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
      if (!n.font_colour.empty()) {
        comment.runs[0].font.theme_colour = false;
        comment.runs[0].font.colour = n.font_colour;
      }
      comment.fill_colour = n.fill_colour;
      comment.left = n.left;
      comment.top = n.top;
      comment.width = n.width;
      comment.height = n.height;
      ASSERT_TRUE(book.AddComment(std::move(comment)));
    }
    ASSERT_TRUE(book.Save(wide(path))) << book.GetSaveError();
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
    const std::string sheet = read_text(unpacked / base::sprintf("xl/worksheets/sheet%d.xml", n));
    EXPECT_NE(sheet.find("<legacyDrawing r:id=\"rId1\"/>"), std::string::npos) << n;
    EXPECT_TRUE(std::filesystem::exists(
        unpacked / base::sprintf("xl/worksheets/_rels/sheet%d.xml.rels", n)));
  }

  // The expected notes for the readers: sheet title, cell, text (runs joined),
  // box (left, top, width, height in points, or null for one beside the cell).
  std::string expected = "{\"author\": " + workbook_check::json_text("Zoë & <Co>") + ", \"notes\": [";
  const std::vector<std::string> titles = {"Data", "It's data", "Third"};
  for (const expected_note& n : notes) {
    std::wstring text;
    for (const auto& run : n.runs)
      text += run;
    if (expected.back() != '[')
      expected += ",";
    expected += "[" + workbook_check::json_text(titles[static_cast<std::size_t>(n.sheet - 1)]) + "," +
                workbook_check::json_text(plat::to_utf8(CWorksheet::MakeCellRef(n.column, n.row))) + "," +
                workbook_check::json_text(plat::to_utf8(text)) + "," +
                (n.width == 0 ? std::string("null")
                              : base::sprintf("[%d,%d,%d,%d]", n.left, n.top, n.width, n.height)) +
                "]";
  }
  expected += "]}";
  const std::string expected_path = (dir_.path() / "expected.json").string();
  std::ofstream(expected_path) << expected;
  const std::string checker =
      (std::filesystem::path(QVT_TESTS_DIR) / "xlsx" / "comments" / "check_comments.py").string();
  const std::string said =
      command_output("/usr/bin/python3 " + quoted(checker) + " " + quoted(path) + " " +
                         quoted(dir_.path().string()) + " " + quoted(expected_path) + " " +
                         quoted(test_support::libreoffice_profile(dir_.path().string())) + " 2>&1",
                     &status);
  EXPECT_EQ(status, 0) << said;
}

} // namespace
