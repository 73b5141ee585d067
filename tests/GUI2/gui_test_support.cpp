// Waiting on the event loop, and answering message boxes from inside the loop
// their modal run opens.
#include "gui_test_support.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

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
