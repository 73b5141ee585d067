// Modal windows run their own event loop: a polling timer started before the
// call finds the window once it is up, and answers it from inside that loop.
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

void save_screen(QWidget& window, const QString& name)
{
  const QString folder = QStringLiteral(QVT_SCREENS_DIR);
  QDir().mkpath(folder);
  window.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void answer_next_modal(std::function<void(QWidget& modal)> answer)
{
  auto* poll = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, answer = std::move(answer)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      poll->stop();
      poll->deleteLater();
      answer(*modal);
    } else if (clock->elapsed() > 5000) {
      poll->stop();
      poll->deleteLater();
    }
  });
  poll->start(10);
}

void answer_next_box(seen_box& seen, int key, const QString& screen_name)
{
  answer_next_modal([&seen, key, screen_name](QWidget& modal) {
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
