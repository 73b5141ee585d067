// What the wizard tests share: a picture of each window they show, and ways to
// answer a modal box or dialog that the code under test opens and waits for.
#pragma once

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>

// Test failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
  *out << '"' << text.toStdString() << '"';
}

// Saves <screens>/<name>.png.
inline void save_screen(QWidget& widget, const QString& name)
{
  const QString dir = QStringLiteral(QVT_SCREENS_DIR);
  QDir().mkpath(dir);
  if (!widget.isVisible())
    widget.adjustSize();
  // Tests in parallel may picture the same page: each picture lands whole.
  QSaveFile file(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  EXPECT_TRUE(widget.grab().save(&file, "PNG"));
  EXPECT_TRUE(file.commit());
}

// The control named by its resource id ("c<id>") among the widget's children;
// std::runtime_error when there is none.
template <class T> T& control_by_id(QWidget& parent, int id)
{
  auto* found = parent.findChild<T*>(QStringLiteral("c%1").arg(id));
  if (found == nullptr)
    throw std::runtime_error("no control " + std::to_string(id) + " in " + parent.objectName().toStdString());
  return *found;
}

// Saves <screens>/<name>.png: the window with the box over it where the screen
// shows it, as a user sees the two.
void save_screen_with_box(QWidget& window, QWidget& box, const QString& name);

// Empty when the box shows its message in the message's own lines, none of them
// broken again, and is wide enough for its caption in a title bar; else what
// is wrong. The message is a QMessageBox's text or the label named c1320.
std::string box_fit_problem(const QWidget& box);

// Runs the action on the next modal window once it is up (polling the event
// loop it runs in); the action should close it.
inline void when_modal_shows(std::function<void(QWidget&)> action)
{
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
      return;
    timer->stop();
    timer->deleteLater();
    action(*modal);
  });
  timer->start();
}

// The desktop's opener while it lives: PATH holds only a folder with an
// xdg-open that exits with the status, or none at all when the status is
// negative; the old PATH comes back at the end.
class scoped_desktop_opener {
public:
  explicit scoped_desktop_opener(int exit_status);
  ~scoped_desktop_opener();
  scoped_desktop_opener(const scoped_desktop_opener&) = delete;
  scoped_desktop_opener& operator=(const scoped_desktop_opener&) = delete;

private:
  std::string folder_;
  QByteArray old_path_;
};

// Runs the event loop until the condition holds; false when it did not within the time.
bool wait_until(const std::function<bool()>& condition, int timeout_ms = 5000);

// What a message box showed before it was answered.
struct seen_box {
  QString caption;
  QString text;
  QString default_button;  // the text of its default button
  bool shown = false;
};
// Answers the next message box with the key (Qt::Key_Return, Qt::Key_Escape),
// keeping what it showed and, when a name is given, its picture.
void answer_next_box(seen_box& seen, int key, const QString& screen_name = QString());

// Answers the message box that shows while it lives: with the button, or with
// Return (the default button) when none is given; keeps what the box showed.
struct box_answer {
  explicit box_answer(QMessageBox::StandardButton button = QMessageBox::NoButton, QString screen = QString())
  {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this, button, screen] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible())
        return;
      timer.stop();
      shown = true;
      text = box->text();
      if (QPushButton* preset = box->defaultButton())
        default_button = preset->text().remove(QLatin1Char('&'));
      if (!screen.isEmpty())
        save_screen(*box, screen);
      if (button == QMessageBox::NoButton)
        QTest::keyClick(box, Qt::Key_Return);
      else
        box->button(button)->click();
    });
    timer.start();
  }
  QTimer timer;
  bool shown = false;
  QString text;
  QString default_button;
};
