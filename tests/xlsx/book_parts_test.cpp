// The workbook's temporary folder and sheet titles, and the package parts it
// writes there: content types, relationships, properties, workbook and theme.
#include "book_test_support.h"

#include "xlsx/charts/chart_sheet.h"
#include "xlsx/part_writers.h"
#include "xlsx/xlsx_book.h"
#include "xlsx/xlsx_she.h"

#include "TK/tk_exception.h"
#include "support/regex_match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

using namespace XlsxBook;
using book_test::env_var;

namespace {

class Workbook : public book_test::book_fixture {
protected:
  std::string part(const CWorkbook& book, const std::string& name) const
  {
    return read_file(plat::to_utf8(book.GetTempFolder()) + "/" + name);
  }
};

constexpr const char* declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

} // namespace

TEST_F(Workbook, NothingIsOnDiskUntilTheFirstSheetAndNothingStaysAfterTheWorkbook)
{
  {
    CWorkbook book;
    EXPECT_TRUE(book.GetTempFolder().empty());
    EXPECT_TRUE(temp_leftovers().empty());

    book.AddSheet2(L"first", {});
    const std::filesystem::path folder = plat::to_utf8(book.GetTempFolder());
    EXPECT_EQ(folder.parent_path(), temp_root_);
    EXPECT_EQ(folder.filename().string().rfind("xlsx_", 0), 0u) << folder;
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "private to its user";
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "xl/worksheets/sheet1.xml"));
    EXPECT_EQ(book.GetPartList().size(), 8u);
    EXPECT_EQ(book.GetPartList()[0], L"[Content_Types].xml");
    EXPECT_EQ(book.GetPartList()[7], L"xl/theme/theme1.xml");
  }
  EXPECT_TRUE(temp_leftovers().empty()) << "an unsaved workbook removes its folder";
}

TEST_F(Workbook, TemporaryFolderComesFromTempElseTmpdirElseTmp)
{
  const std::filesystem::path tmpdir = dir_.path() / "tmpdir";
  std::filesystem::create_directories(tmpdir);
  struct Case {
    std::optional<std::string> temp, tmpdir;
    std::filesystem::path root;
  };
  const Case cases[] = {
      {temp_root_.string(), tmpdir.string(), temp_root_},
      {std::nullopt, tmpdir.string(), tmpdir},
      {std::string(), std::nullopt, "/tmp"},
  };
  for (const Case& c : cases) {
    env_var temp("TEMP", c.temp);
    env_var tmp("TMPDIR", c.tmpdir);
    std::filesystem::path folder;
    {
      CWorkbook book;
      book.AddSheet2(L"a", {});
      folder = plat::to_utf8(book.GetTempFolder());
      EXPECT_EQ(folder.parent_path(), c.root);
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
  }
}

TEST_F(Workbook, TemporaryFolderThatCannotBeMadeIsALevel1Error)
{
  write_file((dir_.path() / "plain-file").string(), "x");
  for (const std::string& root : {(dir_.path() / "missing/deeper").string(),
                                 (dir_.path() / "plain-file").string()}) {
    env_var temp("TEMP", root);
    CWorkbook book;
    try {
      book.AddSheet2(L"a", {});
      ADD_FAILURE() << "no error for " << root;
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1u);
      EXPECT_NE(std::string(e.what()).find("Cannot create a temporary folder"), std::string::npos)
          << e.what();
    }
    EXPECT_TRUE(book.GetSheets().empty());
  }
}

// Worksheets and chart sheets alike: whatever title the caller asks for, the
// sheet gets one that openpyxl and LibreOffice accept.
TEST_F(Workbook, SheetTitlesAreReadableCutUniqueAndNeverEmpty)
{
  const std::wstring long_name(40, L'n');
  const std::wstring emoji_name = std::wstring(30, L'e') + L"\U0001F600";
  struct Case {
    std::wstring wanted;
    std::wstring title;
    bool chart = false;
  };
  const Case cases[] = {
      {L"Orders", L"Orders"},
      {L"orders", L"orders00001"},           // equal ignoring case
      {L"ORDERS", L"ORDERS00002"},
      {L"", L"Sheet4"},
      {L"\x01\x02", L"Sheet5"},              // nothing XML can carry
      {long_name, std::wstring(31, L'n')},
      {long_name + L"x", std::wstring(26, L'n') + L"00001"},
      {emoji_name, std::wstring(30, L'e')},  // the pair does not fit in 31 units
      {L"\u00C4rger", L"\u00C4rger"},
      {L"\u00E4RGER", L"\u00E4RGER00001"},   // folding is not ASCII-only
      {std::wstring(L"cut\0here", 8), L"cut"},
      {L"a/b", L"a_b", true},
      {L"A_B", L"A_B00001"},                 // equal once made readable
      {L"x[1]", L"x_1_", true},
      {L"chart on 'quoted'", L"chart on 'quoted_", true},
      {L"'quoted'", L"_quoted_"},
      {L"It's", L"It's", true},              // inside, an apostrophe is fine
      {L"q:\\/?*[]", L"q_______"},
      // ends so after the cut
      {std::wstring(30, L'k') + L"'x", std::wstring(30, L'k') + L"_", true},
      {L"\x01'\x02mid\x03'\x04", L"_mid_"},     // ends so once the controls go
      {L"'", L"_", true},
      {L"oRDERS", L"oRDERS00003", true},     // one set of names for both kinds
      // Titles a reader holds equal: upper case joins ı and I, full case
      // folding ß and ss, the ligature ﬁ and fi.
      {L"Sat\u0131\u015f", L"Sat\u0131\u015f"},
      {L"SATI\u015e", L"SATI\u015e00001", true},
      {L"Stra\u00dfe", L"Stra\u00dfe"},
      {L"STRASSE", L"STRASSE00001"},
      {L"fi", L"fi"},
      {L"\ufb01", L"\ufb0100001", true},
      {L"\u0131", L"\u0131"},
      {L"i", L"i00001"},                     // i and ı upper-case to I
      {L"\u0130", L"\u0130"},                // İ meets i, not ı: a new title
  };
  CWorkbook book;
  for (const Case& c : cases) {
    const std::wstring title =
        c.chart ? book.AddChartSheet(c.wanted).name : book.AddSheet2(c.wanted, {})->GetTitle();
    EXPECT_EQ(title, c.title) << plat::to_utf8(c.wanted);
  }
}

TEST_F(Workbook, MakePartFoldersCreatesEveryFolderButNotTheFileName)
{
  const std::string base = dir_.path().string();
  EXPECT_TRUE(make_part_folders(wide(base + "/a/b\\c/file.xml")));
  EXPECT_TRUE(std::filesystem::is_directory(base + "/a/b/c"));
  EXPECT_FALSE(std::filesystem::exists(base + "/a/b/c/file.xml"));
  EXPECT_TRUE(make_part_folders(wide(base + "/a/b/c/file.xml")))
      << "existing folders are no error";
}

TEST_F(Workbook, ContentTypesListFixedPartsSharedStringsAndSheetsInOrder)
{
  const std::string fixed =
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/theme/theme1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.theme+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
      "<Override PartName=\"/docProps/core.xml\" ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
      "<Override PartName=\"/docProps/app.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>";
  const std::string shared =
      "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
  const std::string sheets =
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
      "</Types>";

  CWorkbook book;
  book.AddSheet2(L"a", {});
  CWorksheet* second = book.AddSheet2(L"b", {});
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteContentTypes(book, parts)) << parts.Error();
  EXPECT_EQ(part(book, "[Content_Types].xml"), declaration + fixed + sheets);

  second->OpenRow();
  second->AddCell(CellDataStr{L"text"});
  second->CloseRow();
  ASSERT_TRUE(WriteContentTypes(book, parts)) << parts.Error();
  EXPECT_EQ(part(book, "[Content_Types].xml"), declaration + fixed + shared + sheets);
}

TEST_F(Workbook, AppPartNamesEverySheetInOrderWithEscapedTitles)
{
  CWorkbook book;
  book.AddSheet2(L"a", {});
  book.AddSheet2(L"b & <c> _x0041_", {});
  book.AddSheet2(L"\u0414", {});
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteAppPart(book, parts)) << parts.Error();
  const std::string xml = part(book, "docProps/app.xml");
  EXPECT_NE(xml.find("<Application>Microsoft Excel</Application><DocSecurity>0</DocSecurity>"
                     "<ScaleCrop>false</ScaleCrop>"
                     "<HeadingPairs><vt:vector size=\"2\" baseType=\"variant\"><vt:variant>"
                     "<vt:lpstr>Worksheets</vt:lpstr></vt:variant><vt:variant><vt:i4>3</vt:i4>"
                     "</vt:variant></vt:vector></HeadingPairs>"
                     "<TitlesOfParts><vt:vector size=\"3\" baseType=\"lpstr\">"
                     "<vt:lpstr>a</vt:lpstr><vt:lpstr>b &amp; &lt;c&gt; _x0041_</vt:lpstr>"
                     "<vt:lpstr>\xD0\x94</vt:lpstr></vt:vector></TitlesOfParts>"
                     "<Company></Company><LinksUpToDate>false</LinksUpToDate>"
                     "<SharedDoc>false</SharedDoc><HyperlinksChanged>false</HyperlinksChanged>"
                     "<AppVersion>14.03</AppVersion></Properties>"),
            std::string::npos)
      << xml;
  EXPECT_TRUE(book_test::xml_well_formed(plat::to_utf8(book.GetTempFolder()) + "/docProps/app.xml"));
}

TEST_F(Workbook, CorePropertiesCarryTheEscapedAuthorAndOneUtcMoment)
{
  EXPECT_EQ(W3cdtfTime(1709629621), "2024-03-05T09:07:01Z");

  struct Case {
    std::optional<std::string> username, user;
    std::string creator;
  };
  const Case cases[] = {
      {"Tom & <Jerry>", "ignored", "Tom &amp; &lt;Jerry&gt;"},
      {std::nullopt, "alice", "alice"},
  };
  for (const Case& c : cases) {
    env_var username("USERNAME", c.username);
    env_var user("USER", c.user);
    CWorkbook book;
    book.AddSheet2(L"a", {});
    PartFolder parts = book.Parts();
    ASSERT_TRUE(WriteCorePart(parts) && WritePackageRelationships(parts)) << parts.Error();
    const std::string xml = part(book, "docProps/core.xml");
    EXPECT_NE(xml.find("<dc:creator>" + c.creator + "</dc:creator><cp:lastModifiedBy>" + c.creator +
                       "</cp:lastModifiedBy>"),
              std::string::npos)
        << xml;
    const std::vector<std::string> m = test_regex::search(
        xml, "<dcterms:created xsi:type=\"dcterms:W3CDTF\">(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ)"
             "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">(.*)</dcterms:modified>");
    ASSERT_EQ(m.size(), 3u) << xml;
    EXPECT_EQ(m[1], m[2]);
    EXPECT_TRUE(book_test::xml_well_formed(plat::to_utf8(book.GetTempFolder()) + "/docProps/core.xml"));

    EXPECT_EQ(part(book, "_rels/.rels"),
              std::string(declaration) +
                  "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" Target=\"docProps/app.xml\"/>"
                  "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" Target=\"docProps/core.xml\"/>"
                  "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
                  "</Relationships>");
  }
}

TEST_F(Workbook, WorkbookPartAndRelationshipsNumberSheetsThenSharedStrings)
{
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  CWorkbook book;
  book.AddSheet2(L"One \"1\" & <x> _x0041_", {});
  CWorksheet* second = book.AddSheet2(L"\u0414\u0432\u0430", {});
  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteWorkbookRelationships(book, parts) && WriteWorkbookPart(book, parts)) << parts.Error();
  const std::string sheet_rels =
      std::string(declaration) +
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"" + rel + "styles\" Target=\"styles.xml\"/>"
      "<Relationship Id=\"rId2\" Type=\"" + rel + "theme\" Target=\"theme/theme1.xml\"/>"
      "<Relationship Id=\"rId3\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
      "<Relationship Id=\"rId4\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet2.xml\"/>";
  EXPECT_EQ(part(book, "xl/_rels/workbook.xml.rels"), sheet_rels + "</Relationships>");
  EXPECT_EQ(part(book, "xl/workbook.xml"),
            std::string(declaration) +
                "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                "xmlns:r=\"" + rel.substr(0, rel.size() - 1) + "\">"
                "<fileVersion appName=\"xl\" lastEdited=\"5\" lowestEdited=\"5\" rupBuild=\"9302\"/>"
                "<workbookPr codeName=\"ThisWorkbook\" defaultThemeVersion=\"124226\"/>"
                "<bookViews><workbookView xWindow=\"270\" yWindow=\"630\" windowWidth=\"24615\" "
                "windowHeight=\"11445\"/></bookViews>"
                "<sheets><sheet name=\"One &quot;1&quot; &amp; &lt;x&gt; _x005F_x0041_\" sheetId=\"1\" "
                "r:id=\"rId3\"/>"
                "<sheet name=\"\xD0\x94\xD0\xB2\xD0\xB0\" sheetId=\"2\" r:id=\"rId4\"/></sheets>"
                "<calcPr calcId=\"124519\"/></workbook>");

  second->OpenRow();
  second->AddCell(CellDataStr{L"text"});
  second->CloseRow();
  ASSERT_TRUE(WriteWorkbookRelationships(book, parts) && WriteWorkbookPart(book, parts)) << parts.Error();
  EXPECT_EQ(part(book, "xl/_rels/workbook.xml.rels"),
            sheet_rels + "<Relationship Id=\"rId5\" Type=\"" + rel +
                "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
}

// Comments and formulas bring parts of their own: each is listed in the content
// types, and the calculation chain gets its relationship between the sheets and
// the shared strings; it is written by its own step, once.
TEST_F(Workbook, CommentAndFormulaPartsAreListedAndLinked)
{
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  CWorkbook book;
  CWorksheet* first = book.AddSheet2(L"a", {});
  CWorksheet* second = book.AddSheet2(L"b", {});
  CWorksheet* third = book.AddSheet2(L"c", {});
  first->OpenRow();
  first->AddCell(CellDataStr{L"text"});
  CommentData comment;
  comment.sheet = 3;
  comment.position = CommentData::Position(0, 1);
  ASSERT_TRUE(book.AddComment(comment));
  comment.sheet = 1;
  ASSERT_TRUE(book.AddComment(comment));
  second->m_hasFormulas = true;
  second->m_formulaRefs = {L"A1", L"B2"};
  third->m_hasFormulas = true;  // flagged, but no cell: nothing to chain

  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteContentTypes(book, parts)) << parts.Error();
  const std::string types = part(book, "[Content_Types].xml");
  const auto at = [&types](const std::string& text) { return types.find(text); };
  EXPECT_LT(at("/xl/sharedStrings.xml"), at("<Default Extension=\"vml\" "
                                            "ContentType=\"application/vnd.openxmlformats-"
                                            "officedocument.vmlDrawing\"/>"));
  EXPECT_LT(at("Extension=\"vml\""), at("/xl/comments1.xml"));
  EXPECT_LT(at("/xl/comments1.xml"), at("/xl/comments3.xml"));
  EXPECT_EQ(at("/xl/comments2.xml"), std::string::npos);
  EXPECT_LT(at("/xl/comments3.xml"), at("/xl/worksheets/sheet1.xml"));
  EXPECT_LT(at("/xl/worksheets/sheet3.xml"), at("/xl/calcChain.xml"));
  EXPECT_FALSE(std::filesystem::exists(plat::to_utf8(book.GetTempFolder()) + "/xl/calcChain.xml"));

  ASSERT_TRUE(WriteCalcChain(book, parts)) << parts.Error();
  EXPECT_EQ(part(book, "xl/calcChain.xml"),
            std::string(declaration) +
                "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                "<c i=\"2\" r=\"A1\"/><c r=\"B2\"/></calcChain>");
  EXPECT_EQ(std::count(book.GetPartList().begin(), book.GetPartList().end(), L"xl/calcChain.xml"), 1);

  ASSERT_TRUE(WriteWorkbookRelationships(book, parts) && WriteWorkbookPart(book, parts)) << parts.Error();
  const std::string links = part(book, "xl/_rels/workbook.xml.rels");
  EXPECT_NE(links.find("<Relationship Id=\"rId5\" Type=\"" + rel +
                       "worksheet\" Target=\"worksheets/sheet3.xml\"/>"
                       "<Relationship Id=\"rId6\" Type=\"" + rel +
                       "calcChain\" Target=\"calcChain.xml\"/>"
                       "<Relationship Id=\"rId7\" Type=\"" + rel +
                       "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"),
            std::string::npos)
      << links;

  // The sheet links its comment parts when it writes its tail.
  ASSERT_TRUE(third->Save());
  EXPECT_EQ(part(book, "xl/worksheets/_rels/sheet3.xml.rels"),
            std::string(declaration) +
                "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"" + rel +
                "vmlDrawing\" Target=\"../drawings/vmlDrawing3.vml\"/>"
                "<Relationship Id=\"rId2\" Type=\"" + rel +
                "comments\" Target=\"../comments3.xml\"/></Relationships>");
  EXPECT_NE(part(book, "xl/worksheets/sheet3.xml").find("<legacyDrawing r:id=\"rId1\"/></worksheet>"),
            std::string::npos);
}

// Chart sheets are sheets of the workbook too: their names share the sheet
// titles' rules and namespace, and every part that lists sheets lists them after
// the worksheets.
TEST_F(Workbook, ChartSheetsAreListedAfterTheWorksheetsEverywhere)
{
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  CWorkbook book;
  CWorksheet* data = book.AddSheet2(L"Data", {});
  data->OpenRow();
  data->AddCell(CellDataStr{L"text"});
  book.AddSheet2(L"More", {});
  EXPECT_EQ(book.AddChartSheet(L"DATA").name, L"DATA00001");
  EXPECT_EQ(book.AddChartSheet(L"Sales & 'Q1' _x0041_").number, 2u);
  EXPECT_EQ(book.AddChartSheet(L"").name, L"Sheet5");

  PartFolder parts = book.Parts();
  ASSERT_TRUE(WriteAppPart(book, parts)) << parts.Error();
  const std::string app = part(book, "docProps/app.xml");
  EXPECT_NE(app.find("<HeadingPairs><vt:vector size=\"4\" baseType=\"variant\">"
                     "<vt:variant><vt:lpstr>Worksheets</vt:lpstr></vt:variant>"
                     "<vt:variant><vt:i4>2</vt:i4></vt:variant>"
                     "<vt:variant><vt:lpstr>Diagramms</vt:lpstr></vt:variant>"
                     "<vt:variant><vt:i4>3</vt:i4></vt:variant></vt:vector></HeadingPairs>"
                     "<TitlesOfParts><vt:vector size=\"5\" baseType=\"lpstr\">"
                     "<vt:lpstr>Data</vt:lpstr><vt:lpstr>More</vt:lpstr>"
                     "<vt:lpstr>DATA00001</vt:lpstr><vt:lpstr>Sales &amp; &#39;Q1&#39; _x0041_</vt:lpstr>"
                     "<vt:lpstr>Sheet5</vt:lpstr></vt:vector></TitlesOfParts>"),
            std::string::npos)
      << app;

  ASSERT_TRUE(WriteContentTypes(book, parts)) << parts.Error();
  const std::string types = part(book, "[Content_Types].xml");
  const std::string chart_types =
      "<Override PartName=\"/xl/charts/chart2.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.drawingml.chart+xml\"/>"
      "<Override PartName=\"/xl/drawings/drawing2.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.drawing+xml\"/>"
      "<Override PartName=\"/xl/chartsheets/sheet2.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml\"/>";
  EXPECT_NE(types.find(chart_types), std::string::npos) << types;
  EXPECT_LT(types.find("/xl/worksheets/sheet2.xml"), types.find("/xl/charts/chart1.xml"));
  EXPECT_LT(types.find("/xl/chartsheets/sheet1.xml"), types.find("/xl/charts/chart2.xml"));

  ASSERT_TRUE(WriteWorkbookRelationships(book, parts) && WriteWorkbookPart(book, parts)) << parts.Error();
  const std::string links = part(book, "xl/_rels/workbook.xml.rels");
  EXPECT_NE(links.find("Target=\"worksheets/sheet2.xml\"/>"
                       "<Relationship Id=\"rId5\" Type=\"" + rel + "chartsheet\" Target=\"chartsheets/sheet1.xml\"/>"
                       "<Relationship Id=\"rId6\" Type=\"" + rel + "chartsheet\" Target=\"chartsheets/sheet2.xml\"/>"
                       "<Relationship Id=\"rId7\" Type=\"" + rel + "chartsheet\" Target=\"chartsheets/sheet3.xml\"/>"
                       "<Relationship Id=\"rId8\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.xml\"/>"),
            std::string::npos)
      << links;
  EXPECT_NE(part(book, "xl/workbook.xml")
                .find("<sheet name=\"More\" sheetId=\"2\" r:id=\"rId4\"/>"
                      "<sheet name=\"DATA00001\" sheetId=\"3\" r:id=\"rId5\"/>"
                      "<sheet name=\"Sales &amp; &#39;Q1&#39; _x005F_x0041_\" sheetId=\"4\" r:id=\"rId6\"/>"
                      "<sheet name=\"Sheet5\" sheetId=\"5\" r:id=\"rId7\"/></sheets>"),
            std::string::npos);
}

TEST_F(Workbook, ThemeIsSchemaShapedAndTheSameInEveryPackage)
{
  std::string first_theme;
  for (int round = 0; round < 2; ++round) {
    CWorkbook book;
    book.AddSheet2(L"a", {});
    PartFolder parts = book.Parts();
    ASSERT_TRUE(WriteTheme(parts)) << parts.Error();
    const std::string path = plat::to_utf8(book.GetTempFolder()) + "/xl/theme/theme1.xml";
    const std::string theme = read_file(path);
    if (round == 0) {
      first_theme = theme;
      ASSERT_TRUE(book_test::xml_well_formed(path));
      const std::string script =
          "import sys, xml.etree.ElementTree as E\n"
          "a = '{http://schemas.openxmlformats.org/drawingml/2006/main}'\n"
          "r = E.parse(sys.argv[1]).getroot()\n"
          "f = r.find(a + 'themeElements').find(a + 'fmtScheme')\n"
          "print([c.tag[len(a):] for c in f])\n"
          "print([len(e.find(a + 'effectLst')) for e in f.find(a + 'effectStyleLst')])\n"
          "print(len(f.find(a + 'bgFillStyleLst')), len(f.find(a + 'fillStyleLst')),"
          " len(f.find(a + 'lnStyleLst')))\n"
          "fs = r.find(a + 'themeElements').find(a + 'fontScheme')\n"
          "print([len(x) for x in fs], fs[0][0].get('typeface'), fs[1][0].get('typeface'))\n";
      const std::string script_path = (dir_.path() / "theme.py").string();
      write_file(script_path, script);
      int status = -1;
      const std::string shape = book_test::command_output(
          "/usr/bin/python3 " + book_test::quoted(script_path) + " " + book_test::quoted(path) + " 2>&1",
          &status);
      EXPECT_EQ(status, 0);
      EXPECT_EQ(shape,
                "['fillStyleLst', 'lnStyleLst', 'effectStyleLst', 'bgFillStyleLst']\n"
                "[1, 1, 1]\n"
                "3 3 3\n"
                "[29, 29] Cambria Cambria\n");
      for (char c : theme)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80u) << "pure ASCII";
    } else {
      EXPECT_EQ(theme, first_theme);
    }
  }
}
