// The names every part writer of the package agrees on: the XML namespaces and
// the relationship types. A name is written exactly as it stands here, so two
// parts that link each other always spell it alike.
#pragma once

namespace XlsxBook {

namespace ns {
inline constexpr const char* spreadsheet_main =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* office_relationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr const char* package_relationships =
    "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr const char* content_types =
    "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr const char* core_properties =
    "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
inline constexpr const char* extended_properties =
    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
inline constexpr const char* doc_props_vtypes =
    "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
inline constexpr const char* dublin_core = "http://purl.org/dc/elements/1.1/";
inline constexpr const char* dc_terms = "http://purl.org/dc/terms/";
inline constexpr const char* dcmi_type = "http://purl.org/dc/dcmitype/";
inline constexpr const char* xml_schema_instance = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr const char* markup_compatibility =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";
inline constexpr const char* x14ac = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac";
inline constexpr const char* x14 = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main";
inline constexpr const char* drawing_main = "http://schemas.openxmlformats.org/drawingml/2006/main";
inline constexpr const char* drawing_chart = "http://schemas.openxmlformats.org/drawingml/2006/chart";
inline constexpr const char* spreadsheet_drawing =
    "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
inline constexpr const char* vml = "urn:schemas-microsoft-com:vml";
inline constexpr const char* vml_office = "urn:schemas-microsoft-com:office:office";
inline constexpr const char* vml_excel = "urn:schemas-microsoft-com:office:excel";
} // namespace ns

// Relationship types (the office-document ones end in the part's kind).
namespace rel {
inline constexpr const char* office_document =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr const char* extended_properties =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
inline constexpr const char* core_properties =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
inline constexpr const char* styles =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr const char* theme =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme";
inline constexpr const char* worksheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr const char* calc_chain =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain";
inline constexpr const char* shared_strings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings";
inline constexpr const char* comments =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";
inline constexpr const char* vml_drawing =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/vmlDrawing";
inline constexpr const char* chartsheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chartsheet";
inline constexpr const char* drawing =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing";
inline constexpr const char* chart =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chart";
} // namespace rel

} // namespace XlsxBook
