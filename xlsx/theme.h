// The fixed theme of every package: the Office colour, font and format schemes,
// in the nesting the DrawingML schema requires. The part never depends on the
// data, so two packages always carry byte-identical themes.
#pragma once

namespace XlsxBook {

class CXmlEmitter;

// Writes the theme document, declaration included, through the emitter.
void WriteThemeDocument(CXmlEmitter& xml);

} // namespace XlsxBook
