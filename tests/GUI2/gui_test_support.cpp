// Waiting on the event loop, answering message boxes from inside the loop
// their modal run opens, and what a box's picture and size must show.
#include "gui_test_support.h"

#include "support/temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <memory>

bool wait_until(const std::function<bool()>& condition, int timeout_ms)
{
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeout_ms)
      return false;
    QTest::qWait(5);
  }
  return true;
}

void answer_next_box(seen_box& seen, int key, const QString& screen_name)
{
  when_modal_shows([&seen, key, screen_name](QWidget& modal) {
    seen.shown = true;
    seen.caption = modal.windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
      seen.text = box->text();
      if (QPushButton* button = box->defaultButton())
        seen.default_button = button->text().remove(QLatin1Char('&'));
    }
    if (!screen_name.isEmpty())
      save_screen(modal, screen_name);
    QTest::keyClick(&modal, static_cast<Qt::Key>(key));
  });
}

void save_screen_with_box(QWidget& window, QWidget& box, const QString& name)
{
  const QRect whole = window.frameGeometry().united(box.frameGeometry());
  const qreal ratio = window.devicePixelRatioF();
  QPixmap canvas(whole.size() * ratio);
  canvas.setDevicePixelRatio(ratio);
  canvas.fill(Qt::darkGray);
  {
    QPainter painter(&canvas);
    painter.drawPixmap(window.geometry().topLeft() - whole.topLeft(), window.grab());
    const QRect at = box.geometry().translated(-whole.topLeft());
    painter.drawPixmap(at.topLeft(), box.grab());
    // The box's own edge: the offscreen platform draws no window frames.
    painter.setPen(Qt::black);
    painter.drawRect(at.adjusted(0, 0, -1, -1));
  }
  const QString dir = QStringLiteral(QVT_SCREENS_DIR);
  QDir().mkpath(dir);
  QSaveFile file(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  EXPECT_TRUE(canvas.save(&file, "PNG"));
  EXPECT_TRUE(file.commit());
}

std::string box_fit_problem(const QWidget& box)
{
  const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  if (label == nullptr)
    label = box.findChild<QLabel*>(QStringLiteral("c1320"));
  if (label == nullptr)
    return "no message label";
  const QFontMetrics metrics(label->font());
  const int width = label->contentsRect().width();
  // Only a line longer than a box may reasonably be wide (half the screen) wraps.
  const QScreen* screen = box.screen();
  const bool at_widest = label->wordWrap() && screen != nullptr && box.width() >= screen->availableGeometry().width() / 2;
  bool wraps = false;
  for (const QString& line : label->text().split(QLatin1Char('\n'))) {
    if (metrics.horizontalAdvance(line) <= width)
      continue;
    if (!at_widest)
      return "the line \"" + line.toStdString() + "\" is wider than the label's " + std::to_string(width);
    wraps = true;
  }
  // A label that wraps lays out no more lines than with all the room it wants.
  if (!wraps && label->wordWrap() && label->heightForWidth(width) > label->heightForWidth(QWIDGETSIZE_MAX))
    return "the label breaks the text's lines again at " + std::to_string(width);
  // A line wider than the box may wrap, but every line it wraps into shows whole.
  if (label->wordWrap() && label->contentsRect().height() < label->heightForWidth(label->width()))
    return "the label is " + std::to_string(label->contentsRect().height()) + " high, its text needs " +
           std::to_string(label->heightForWidth(label->width()));
  // The caption in the bold title font, a fifth more for a window manager's
  // larger one, then an icon (a line), three buttons (a line and a half each)
  // and the bar's paddings (a line and a half).
  QFont title = QApplication::font("QMdiSubWindowTitleBar");
  title.setBold(true);
  const QFontMetrics caption(title);
  const int text = caption.horizontalAdvance(box.windowTitle());
  const int needed = text + text / 5 + 7 * caption.height();
  if (box.width() < needed)
    return "the box is " + std::to_string(box.width()) + " wide, its caption needs " + std::to_string(needed);
  return {};
}

scoped_desktop_opener::scoped_desktop_opener(int exit_status)
    : folder_(QDir::tempPath().toStdString() + "/qvt-opener-XXXXXX"), old_path_(qgetenv("PATH"))
{
  if (::mkdtemp(folder_.data()) == nullptr)
    throw std::runtime_error("no folder for the opener");
  if (exit_status >= 0) {
    const std::string opener = folder_ + "/xdg-open";
    write_file(opener, "#!/bin/sh\nexit " + std::to_string(exit_status) + "\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  }
  qputenv("PATH", QByteArray::fromStdString(folder_));
}

scoped_desktop_opener::~scoped_desktop_opener()
{
  qputenv("PATH", old_path_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}
