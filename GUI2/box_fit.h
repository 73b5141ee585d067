// How wide a box or dialog with a message is made: the system's texts carry
// their own line breaks, so the message shows those lines and no others, and
// the frame has room for the whole caption. Both yield only to the screen.
#pragma once

class QLabel;
class QString;
class QWidget;

// Call once the box holds its text and its caption, before it is shown. The
// message label keeps its word wrap for a line wider than the screen allows;
// the box's size is fixed to that width and the height its text needs there.
void fit_box_to_text(QWidget& box, QLabel& message);

// What a window frame needs for the caption: the text in the title bar's bold
// font, with room for a window manager's larger one, and the icon and buttons
// beside it.
int caption_room(const QString& caption);
