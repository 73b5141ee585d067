// The cell comments' parts: xl/comments<n>.xml with its VML drawing for every
// sheet that has comments. CWorkbook::AddComment, defined beside them, installs
// this writer in the workbook, so only workbooks with comments reach it.
#pragma once

#include <vector>

namespace XlsxBook {

class PartFolder;
struct CommentData;

// xl/comments<n>.xml and xl/drawings/vmlDrawing<n>.vml of every sheet with
// comments; nothing without comments.
bool WriteComments(const std::vector<CommentData>& comments, PartFolder& parts);

} // namespace XlsxBook
