// Box widths in logical pixels of the box's screen. The message label is made as
// wide as its widest own line, and wider where the caption needs it; the limit
// is the width past which a QMessageBox breaks lines anywhere, so a box made
// here is never squeezed by its own sizing afterwards.
#include "GUI2/box_fit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QString>
#include <QWidget>

#include <algorithm>

namespace {

// The left and right borders a window frame may add.
constexpr int frame_borders = 16;

int widest_line(const QFontMetrics& metrics, const QString& text)
{
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n')))
    widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

int widest_box(const QWidget& box)
{
  const QWidget* owner = box.parentWidget() != nullptr ? box.parentWidget() : &box;
  const QScreen* screen = owner->screen();
  if (screen == nullptr)
    return QWIDGETSIZE_MAX;
  const int room = screen->availableGeometry().width();
  const int limit = room <= 1024 ? room : std::min(room - 480, 1000);
  return limit - frame_borders;
}

} // namespace

int caption_room(const QString& caption)
{
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  const QFontMetrics metrics(font);
  // The window manager draws the caption in a font of its own, often larger
  // than the program's: a quarter more for the text. Beside it a title bar
  // holds an icon, up to three buttons of about a line and a half each, and
  // their paddings: eight lines.
  const int text = metrics.horizontalAdvance(caption);
  return text + text / 4 + 8 * metrics.height();
}

void fit_box_to_text(QWidget& box, QLabel& message)
{
  QLayout* layout = box.layout();
  if (layout == nullptr)
    return;
  const QFontMetrics metrics(message.font());
  // A blank's slack: a label lays its lines out a little wider than their advance.
  const int lines = widest_line(metrics, message.text()) + metrics.horizontalAdvance(QLatin1Char(' '));
  const int limit = widest_box(box);
  message.setMinimumWidth(lines);
  layout->invalidate();
  const int over = layout->totalMinimumSize().width() - limit;
  if (over > 0)
    message.setMinimumWidth(std::max(lines - over, 0));
  // The label's column grows until the box holds the caption; the buttons'
  // row may be the widest part at first, so it can take more than one step.
  const int wanted = std::min(caption_room(box.windowTitle()), limit);
  for (int step = 0; step < 3; ++step) {
    layout->invalidate();
    const int short_by = wanted - layout->totalMinimumSize().width();
    if (short_by <= 0)
      break;
    message.setMinimumWidth(message.minimumWidth() + short_by);
  }
  layout->invalidate();
  // As tall as the text at the width the box shows with: a line that wraps
  // would otherwise get the height of one, and its second line be cut.
  layout->activate();
  // The label's minimum is the width chosen above; a wrapping label's own
  // wish would be wider than the limit.
  const int width = layout->totalMinimumSize().width();
  const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : layout->totalSizeHint().height();
  box.setFixedSize(width, std::max(height, layout->totalMinimumSize().height()));
}
