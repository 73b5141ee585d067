// The XML writer's token rules, byte for byte, and the buffered file writer it
// stands on: failures kept until Close, patches across the flushed boundary.
#include "support/temp_dir.h"
#include "xlsx/xml_emitter.h"
#include "xlsx/xlsx_file_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>

using XlsxBook::CFileWriter;
using XlsxBook::CXmlEmitter;
using XlsxBook::XmlToken;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

std::string Emit(const std::function<void(CXmlEmitter&)>& tokens)
{
  temp_dir dir;
  CFileWriter out;
  EXPECT_TRUE(out.Open(dir.file("part.xml")));
  {
    CXmlEmitter xml(out);
    tokens(xml);
  }
  EXPECT_TRUE(out.Close());
  return read_file(dir.file("part.xml"));
}

struct EmitCase {
  const char* what;
  std::function<void(CXmlEmitter&)> tokens;
  std::string expected;
};

} // namespace

TEST(XmlEmitter, TokenSequencesGiveExactText)
{
  using T = XmlToken;
  const EmitCase cases[] = {
      {"nested elements with an attribute and text",
       [](CXmlEmitter& x) {
         x << T::Declaration() << T::StartTag("a") << T::Attribute("x") << 1 << T::StartTag("b")
           << T::CloseStartTag() << "t" << T::EndTag() << T::EndTag();
       },
       kDecl + "<a x=\"1\"><b>t</b></a>"},
      {"an element with only an attribute ends as empty",
       [](CXmlEmitter& x) { x << T::StartTag("c") << T::Attribute("r") << "A1" << T::EndTag(); },
       "<c r=\"A1\"/>"},
      {"an element with nothing ends as empty",
       [](CXmlEmitter& x) { x << T::StartTag("c") << T::EndTag(); }, "<c/>"},
      {"a name collected from values",
       [](CXmlEmitter& x) {
         x << T::StartTag("") << "ro" << L"w" << T::Attribute("r") << 2 << T::CloseStartTag()
           << T::EndTag();
       },
       "<row r=\"2\"></row>"},
      {"destroyed with a start tag still open",
       [](CXmlEmitter& x) { x << T::StartTag("a") << T::StartTag("b"); }, "<a><b/></a>"},
      {"destroyed while an attribute value is open",
       [](CXmlEmitter& x) { x << T::StartTag("a") << T::Attribute("k") << "v"; }, "<a k=\"v\"/>"},
      {"destroyed while collecting a name drops the name",
       [](CXmlEmitter& x) { x << T::StartTag("a") << T::StartTag("") << "n"; }, "<a><n/></a>"},
      {"an attribute with nothing open is dropped, its value is text",
       [](CXmlEmitter& x) { x << T::Attribute("q") << "v"; }, "v"},
      {"a second declaration, or one after a start tag, is ignored",
       [](CXmlEmitter& x) {
         x << T::Declaration() << T::Declaration() << T::StartTag("a") << T::Declaration();
       },
       kDecl + "<a/>"},
      {"an end tag whose name is not open closes everything",
       [](CXmlEmitter& x) {
         x << T::StartTag("a") << T::StartTag("b") << T::StartTag("c") << T::EndTag("zz")
           << "after";
       },
       "<a><b><c/></b></a>after"},
      {"a named end tag stops at the innermost element of that name",
       [](CXmlEmitter& x) {
         x << T::StartTag("a") << T::StartTag("a") << T::StartTag("b") << T::EndTag("a")
           << "in";
       },
       "<a><a><b/></a>in</a>"},
      {"an end tag on an empty stack writes nothing",
       [](CXmlEmitter& x) { x << T::EndTag() << T::EndTag("a"); }, ""},
      {"values are never escaped",
       [](CXmlEmitter& x) { x << T::StartTag("a") << T::Attribute("v") << "x<&\"y"; },
       "<a v=\"x<&\"y\"/>"},
      {"numbers in the C form with 6 significant digits for reals",
       [](CXmlEmitter& x) {
         x << 14.03 << ' ' << 1234567.0 << ' ' << 1.5f << ' ' << -5 << ' '
           << std::numeric_limits<std::uint64_t>::max() << ' ' << std::int64_t{-9000000000};
       },
       "14.03 1.23457e+06 1.5 -5 18446744073709551615 -9000000000"},
      {"wide text reaches the file as UTF-8",
       [](CXmlEmitter& x) {
         x << T::StartTag(L"Лист") << T::Attribute(L"n") << L"Ä€😀" << T::CloseStartTag()
           << L'ж' << T::EndTag(L"Лист");
       },
       "<\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82 n=\"\xC3\x84\xE2\x82\xAC\xF0\x9F\x98\x80\">"
       "\xD0\xB6</\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82>"},
      {"nothing written gives an empty part", [](CXmlEmitter&) {}, ""},
      {"destroyed right after the declaration adds nothing",
       [](CXmlEmitter& x) { x << T::Declaration(); }, kDecl},
  };
  for (const EmitCase& c : cases)
    EXPECT_EQ(Emit(c.tokens), c.expected) << c.what;
}

TEST(XmlEmitter, ContentWrittenAfterBeginContentStaysInsideTheElement)
{
  const std::string text = Emit([](CXmlEmitter& x) {
    x << XmlToken::StartTag("row") << XmlToken::Attribute("r") << 1;
    x.BeginContent();
    x.Out().Write("<c/>");
    EXPECT_EQ(x.GetState(), CXmlEmitter::kNone);
    EXPECT_EQ(x.Depth(), 1u);
  });
  EXPECT_EQ(text, "<row r=\"1\"><c/></row>");
}

TEST(FileWriter, WriteFailureIsKeptAndReportedAtClose)
{
  CFileWriter out(4096);
  ASSERT_TRUE(out.Open(std::string("/dev/full")));
  for (int i = 0; i < 1000; ++i)
    out.Write("0123456789");  // more than the buffer: the first flush fails
  EXPECT_TRUE(out.Failed());
  EXPECT_FALSE(out.Close());
  EXPECT_NE(out.ErrorText().find("Cannot write file '/dev/full'"), std::string::npos)
      << out.ErrorText();
}

TEST(FileWriter, FailureOfTheLastFlushIsReportedAtClose)
{
  CFileWriter out;
  ASSERT_TRUE(out.Open(std::string("/dev/full")));
  out.Write("small");
  EXPECT_FALSE(out.Failed());
  EXPECT_FALSE(out.Close());
  EXPECT_EQ(out.Error(), ENOSPC);
}

TEST(FileWriter, FileThatCannotBeCreatedFailsOpen)
{
  temp_dir dir;
  CFileWriter out;
  EXPECT_FALSE(out.Open(dir.file("missing/part.xml")));
  EXPECT_FALSE(out.Close());
  EXPECT_NE(out.ErrorText().find("Cannot create file"), std::string::npos) << out.ErrorText();
}

TEST(FileWriter, LargeWritesAndPatchesAcrossTheFlushedPartArriveIntact)
{
  temp_dir dir;
  const std::string path = dir.file("big.bin");
  std::string expected;
  {
    CFileWriter out(4096);
    ASSERT_TRUE(out.Open(path));
    for (int i = 0; i < 2000; ++i) {
      const std::string piece = std::to_string(i) + ",";
      out.Write(piece);
      expected += piece;
    }
    const std::string big(10000, 'x');  // larger than the buffer: written directly
    out.Write(big);
    expected += big;
    out.Write("tail");
    expected += "tail";
    EXPECT_EQ(out.Position(), expected.size());
    // One patch straddling bytes on disk and bytes still buffered, one wholly buffered.
    const std::uint64_t straddle = expected.size() - 6;
    out.Patch(straddle, "ABCD");
    expected.replace(straddle, 4, "ABCD");
    out.Patch(10, "##");
    expected.replace(10, 2, "##");
    ASSERT_TRUE(out.Close());
  }
  EXPECT_EQ(read_file(path), expected);
}

TEST(FileWriter, WideTextIsEncodedAsUtf8WithBadValuesReplaced)
{
  temp_dir dir;
  CFileWriter out;
  ASSERT_TRUE(out.Open(dir.file("w.txt")));
  const wchar_t text[] = {L'a', L'\u00E9', L'\u20AC', static_cast<wchar_t>(0x1F600),
                          static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
  out.WriteWide(text);
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(read_file(dir.file("w.txt")),
            "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
}
