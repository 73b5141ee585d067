// The restyling of an .xls workbook stream in place: a bold fourth font, the
// header cell format at XF 16, vertical centring (and wrapping) for the regular
// cell formats, and XF 16 for the column-name cells of every sheet's row 0.
// Every record the walk relies on is checked first (type, length, BIFF version,
// positions inside the stream); nothing is written unless all of it holds, and
// no write ever passes the end of the record it belongs to.
#pragma once

struct IStream;

enum class xls_biff { biff5, biff8 };

// Restyles the stream. A stream that is not a workbook of `version`, or is
// damaged or cut short, raises a level-1 tk_exception naming what is wrong and is
// left as it was; so does a failed read. A failed write raises too.
void xls_restyle_stream(IStream& stream, xls_biff version, bool wrap);
