// The fixed theme part. The document is the standard Office theme; its format
// scheme keeps the schema's nesting (three effect styles with one shadow each,
// three background fills, exactly four lists), which Excel checks on opening.
#include "xlsx/part_writers.h"

#include "xlsx/package_names.h"
#include "xlsx/part_folder.h"
#include "xlsx/xml_emitter.h"

#include <array>
#include <string>
#include <utility>

namespace XlsxBook {

namespace {

constexpr std::array<std::pair<const char*, const char*>, 26> script_fonts = {{
    {"Arab", "Times New Roman"},  {"Herb", "Times New Roman"},
    {"Thai", "Tahoma"},           {"Ethi", "Nyala"},
    {"Beng", "Vrinda"},           {"Gujr", "Shruti"},
    {"Khmr", "MoolBoran"},        {"Knda", "Tunga"},
    {"Guru", "Raavi"},            {"Cans", "Euphemia"},
    {"Cher", "Plantagenet Cherokee"}, {"Yiii", "Microsoft Yi Baiti"},
    {"Tibt", "Microsoft Himalaya"}, {"Thaa", "MV Boli"},
    {"Deva", "Mangal"},           {"Telu", "Gautami"},
    {"Taml", "Latha"},            {"Syrc", "Estrangelo Edessa"},
    {"Orya", "Kalinga"},          {"Mlym", "Kartika"},
    {"Laoo", "DokChampa"},        {"Sinh", "Iskoola Pota"},
    {"Mong", "Mongolian Baiti"},  {"Viet", "Times New Roman"},
    {"Uigh", "Microsoft Uighur"}, {"Geor", "Sylfaen"},
}};

const char* const colour_scheme =
    "<a:clrScheme name=\"Office\">"
    "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"000000\"/></a:dk1>"
    "<a:lt1><a:sysClr val=\"window\" lastClr=\"FFFFFF\"/></a:lt1>"
    "<a:dk2><a:srgbClr val=\"1F497D\"/></a:dk2>"
    "<a:lt2><a:srgbClr val=\"EEECE1\"/></a:lt2>"
    "<a:accent1><a:srgbClr val=\"4F81BD\"/></a:accent1>"
    "<a:accent2><a:srgbClr val=\"C0504D\"/></a:accent2>"
    "<a:accent3><a:srgbClr val=\"9BBB59\"/></a:accent3>"
    "<a:accent4><a:srgbClr val=\"8064A2\"/></a:accent4>"
    "<a:accent5><a:srgbClr val=\"4BACC6\"/></a:accent5>"
    "<a:accent6><a:srgbClr val=\"F79646\"/></a:accent6>"
    "<a:hlink><a:srgbClr val=\"0000FF\"/></a:hlink>"
    "<a:folHlink><a:srgbClr val=\"800080\"/></a:folHlink>"
    "</a:clrScheme>";

const char* const fill_styles =
    "<a:fillStyleLst>"
    "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
    "<a:gradFill rotWithShape=\"1\"><a:gsLst>"
    "<a:gs pos=\"0\"><a:schemeClr val=\"phClr\"><a:tint val=\"50000\"/><a:satMod val=\"300000\"/></a:schemeClr></a:gs>"
    "<a:gs pos=\"35000\"><a:schemeClr val=\"phClr\"><a:tint val=\"37000\"/><a:satMod val=\"300000\"/></a:schemeClr></a:gs>"
    "<a:gs pos=\"100000\"><a:schemeClr val=\"phClr\"><a:tint val=\"15000\"/><a:satMod val=\"350000\"/></a:schemeClr></a:gs>"
    "</a:gsLst><a:lin ang=\"16200000\" scaled=\"1\"/></a:gradFill>"
    "<a:gradFill rotWithShape=\"1\"><a:gsLst>"
    "<a:gs pos=\"0\"><a:schemeClr val=\"phClr\"><a:tint val=\"51000\"/><a:satMod val=\"130000\"/></a:schemeClr></a:gs>"
    "<a:gs pos=\"80000\"><a:schemeClr val=\"phClr\"><a:tint val=\"93000\"/><a:satMod val=\"130000\"/></a:schemeClr></a:gs>"
    "<a:gs pos=\"100000\"><a:schemeClr val=\"phClr\"><a:tint val=\"94000\"/><a:satMod val=\"135000\"/></a:schemeClr></a:gs>"
    "</a:gsLst><a:lin ang=\"16200000\" scaled=\"0\"/></a:gradFill>"
    "</a:fillStyleLst>";

const char* const line_styles =
    "<a:lnStyleLst>"
    "<a:ln w=\"9525\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\"><a:solidFill><a:schemeClr val=\"phClr\">"
    "<a:shade val=\"95000\"/><a:satMod val=\"105000\"/></a:schemeClr></a:solidFill>"
    "<a:prstDash val=\"solid\"/></a:ln>"
    "<a:ln w=\"25400\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\"><a:solidFill><a:schemeClr val=\"phClr\"/>"
    "</a:solidFill><a:prstDash val=\"solid\"/></a:ln>"
    "<a:ln w=\"38100\" cap=\"flat\" cmpd=\"sng\" algn=\"ctr\"><a:solidFill><a:schemeClr val=\"phClr\"/>"
    "</a:solidFill><a:prstDash val=\"solid\"/></a:ln>"
    "</a:lnStyleLst>";

// One shadow per effect list: the schema allows no more.
const char* const effect_styles =
    "<a:effectStyleLst>"
    "<a:effectStyle><a:effectLst>"
    "<a:outerShdw blurRad=\"40000\" dist=\"20000\" dir=\"5400000\" rotWithShape=\"0\">"
    "<a:srgbClr val=\"000000\"><a:alpha val=\"38000\"/></a:srgbClr></a:outerShdw>"
    "</a:effectLst></a:effectStyle>"
    "<a:effectStyle><a:effectLst>"
    "<a:outerShdw blurRad=\"40000\" dist=\"23000\" dir=\"5400000\" rotWithShape=\"0\">"
    "<a:srgbClr val=\"000000\"><a:alpha val=\"35000\"/></a:srgbClr></a:outerShdw>"
    "</a:effectLst></a:effectStyle>"
    "<a:effectStyle><a:effectLst>"
    "<a:outerShdw blurRad=\"40000\" dist=\"23000\" dir=\"5400000\" rotWithShape=\"0\">"
    "<a:srgbClr val=\"000000\"><a:alpha val=\"35000\"/></a:srgbClr></a:outerShdw>"
    "</a:effectLst>"
    "<a:scene3d><a:camera prst=\"orthographicFront\"><a:rot lat=\"0\" lon=\"0\" rev=\"0\"/></a:camera>"
    "<a:lightRig rig=\"threePt\" dir=\"t\"><a:rot lat=\"0\" lon=\"0\" rev=\"1200000\"/></a:lightRig>"
    "</a:scene3d>"
    "<a:sp3d><a:bevelT w=\"63500\" h=\"25400\"/></a:sp3d>"
    "</a:effectStyle>"
    "</a:effectStyleLst>";

// The solid fill and the two radial gradients make the schema's three
// background fills.
const char* const background_fill_styles =
    "<a:bgFillStyleLst>"
    "<a:solidFill><a:schemeClr val=\"phClr\"/></a:solidFill>"
    "<a:gradFill rotWithShape=\"1\"><a:gsLst>"
    "<a:gs pos=\"0\"><a:schemeClr val=\"phClr\"><a:tint val=\"40000\"/><a:satMod val=\"350000\"/></a:schemeClr></a:gs>"
    "<a:gs pos=\"40000\"><a:schemeClr val=\"phClr\"><a:tint val=\"45000\"/><a:shade val=\"99000\"/>"
    "<a:satMod val=\"350000\"/></a:schemeClr></a:gs>"
    "<a:gs pos=\"100000\"><a:schemeClr val=\"phClr\"><a:shade val=\"20000\"/><a:satMod val=\"255000\"/></a:schemeClr></a:gs>"
    "</a:gsLst><a:path path=\"circle\"><a:fillToRect l=\"50000\" t=\"-80000\" r=\"50000\" b=\"180000\"/>"
    "</a:path></a:gradFill>"
    "<a:gradFill rotWithShape=\"1\"><a:gsLst>"
    "<a:gs pos=\"0\"><a:schemeClr val=\"phClr\"><a:tint val=\"80000\"/><a:satMod val=\"300000\"/></a:schemeClr></a:gs>"
    "<a:gs pos=\"100000\"><a:schemeClr val=\"phClr\"><a:shade val=\"30000\"/><a:satMod val=\"200000\"/></a:schemeClr></a:gs>"
    "</a:gsLst><a:path path=\"circle\"><a:fillToRect l=\"50000\" t=\"50000\" r=\"50000\" b=\"50000\"/>"
    "</a:path></a:gradFill>"
    "</a:bgFillStyleLst>";

// The major and minor fonts are the same list ("Cambria" for Latin text in both).
void WriteFontList(CXmlEmitter& xml, const char* element)
{
  xml << XmlToken::StartTag(element);
  xml << XmlToken::StartTag("a:latin") << XmlToken::Attribute("typeface") << "Cambria"
      << XmlToken::EndTag();
  xml << XmlToken::StartTag("a:ea") << XmlToken::Attribute("typeface") << "" << XmlToken::EndTag();
  xml << XmlToken::StartTag("a:cs") << XmlToken::Attribute("typeface") << "" << XmlToken::EndTag();
  for (const auto& [script, typeface] : script_fonts)
    xml << XmlToken::StartTag("a:font") << XmlToken::Attribute("script") << script
        << XmlToken::Attribute("typeface") << typeface << XmlToken::EndTag();
  xml << XmlToken::EndTag();
}

// Fixed markup goes straight into the output while no start tag is pending.
void WriteFixed(CXmlEmitter& xml, const char* markup)
{
  xml << XmlToken::CloseStartTag();
  xml.Out().Write(markup);
}

// The whole theme document, declaration included. It never depends on the
// data, so two packages always carry byte-identical themes.
void WriteThemeDocument(CXmlEmitter& xml)
{
  xml << XmlToken::Declaration() << XmlToken::StartTag("a:theme")
      << XmlToken::Attribute("xmlns:a") << ns::drawing_main << XmlToken::Attribute("name")
      << "Office Theme";
  xml << XmlToken::StartTag("a:themeElements");
  WriteFixed(xml, colour_scheme);
  xml << XmlToken::StartTag("a:fontScheme") << XmlToken::Attribute("name") << "Office";
  WriteFontList(xml, "a:majorFont");
  WriteFontList(xml, "a:minorFont");
  xml << XmlToken::EndTag("a:fontScheme");
  xml << XmlToken::StartTag("a:fmtScheme") << XmlToken::Attribute("name") << "Office";
  WriteFixed(xml, fill_styles);
  xml.Out().Write(line_styles);
  xml.Out().Write(effect_styles);
  xml.Out().Write(background_fill_styles);
  xml << XmlToken::EndTag("a:themeElements");
  xml << XmlToken::StartTag("a:objectDefaults") << XmlToken::EndTag();
  xml << XmlToken::StartTag("a:extraClrSchemeLst") << XmlToken::EndTag();
  xml << XmlToken::EndTag("a:theme");
}

} // namespace

bool WriteTheme(PartFolder& parts)
{
  return parts.Write(L"xl/theme/theme1.xml", WriteThemeDocument);
}

} // namespace XlsxBook
