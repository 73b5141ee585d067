// The wizard's pictures, drawn by the program itself: the window icon, the
// watermark of the exterior pages (205 by 392) and the header picture (49 by 49).
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon wizard_icon();
QPixmap wizard_watermark();
QPixmap wizard_header_picture();
