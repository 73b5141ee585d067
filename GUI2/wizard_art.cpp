// Simple drawings in place of bitmaps: a table grid turning into a sheet, in the
// blues of a desktop theme. Drawn once per call; the sizes are the fixed ones.
#include "GUI2/wizard_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// A small spreadsheet: a frame, a bold header row and grid lines.
void draw_sheet(QPainter& painter, const QRectF& box, const QColor& ink)
{
  painter.setPen(QPen(ink, 1.5));
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(box, 3, 3);
  const qreal header = box.height() / 5;
  painter.fillRect(QRectF(box.left() + 1, box.top() + 1, box.width() - 2, header - 1), ink.lighter(160));
  painter.setPen(QPen(ink, 1));
  for (int row = 1; row < 5; ++row) {
    const qreal y = box.top() + header * row;
    painter.drawLine(QPointF(box.left(), y), QPointF(box.right(), y));
  }
  for (int column = 1; column < 3; ++column) {
    const qreal x = box.left() + box.width() * column / 3;
    painter.drawLine(QPointF(x, box.top()), QPointF(x, box.bottom()));
  }
}

// A database drum: two ellipses joined by the sides.
void draw_drum(QPainter& painter, const QRectF& box, const QColor& ink)
{
  const qreal lid = box.height() / 4;
  QPainterPath body;
  body.moveTo(box.left(), box.top() + lid / 2);
  body.lineTo(box.left(), box.bottom() - lid / 2);
  body.arcTo(QRectF(box.left(), box.bottom() - lid, box.width(), lid), 180, 180);
  body.lineTo(box.right(), box.top() + lid / 2);
  painter.setPen(QPen(ink.darker(130), 1.5));
  painter.setBrush(ink);
  painter.drawPath(body);
  painter.setBrush(ink.lighter(130));
  painter.drawEllipse(QRectF(box.left(), box.top(), box.width(), lid));
}

void draw_arrow(QPainter& painter, QPointF from, QPointF to, const QColor& ink)
{
  painter.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(from, to);  // drawn downwards
  painter.drawLine(to, to + QPointF(-7, -7));
  painter.drawLine(to, to + QPointF(7, -7));
}

const QColor blue(0x2a, 0x6f, 0xb5);
const QColor green(0x2e, 0x8b, 0x57);

} // namespace

QIcon wizard_icon()
{
  QIcon icon;
  for (const int size : {16, 32, 48, 64}) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    draw_drum(painter, QRectF(2 * s, 4 * s, 12 * s, 16 * s), blue);
    draw_sheet(painter, QRectF(14 * s, 12 * s, 16 * s, 17 * s), green);
    icon.addPixmap(picture);
  }
  return icon;
}

QPixmap wizard_watermark()
{
  QPixmap picture(205, 392);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 392);
  sky.setColorAt(0, blue.darker(140));
  sky.setColorAt(1, blue.lighter(150));
  painter.fillRect(picture.rect(), sky);
  draw_drum(painter, QRectF(40, 70, 70, 90), blue.lighter(140));
  draw_arrow(painter, QPointF(95, 180), QPointF(110, 228), Qt::white);
  draw_sheet(painter, QRectF(70, 240, 100, 90), green);
  return picture;
}

QPixmap wizard_header_picture()
{
  QPixmap picture(49, 49);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  draw_drum(painter, QRectF(3, 4, 20, 26), blue);
  draw_sheet(painter, QRectF(22, 18, 24, 27), green);
  return picture;
}
