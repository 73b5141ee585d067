// What the wizard tests share: pictures of what they show, and answers to the
// modal boxes and dialogs that the code under test opens and waits on.
#pragma once

#include <QString>

#include <functional>

class QWidget;

// Runs the event loop until the condition holds; false when it did not within the time.
bool wait_until(const std::function<bool()>& condition, int timeout_ms = 5000);

// Saves the window as <screens>/<name>.png at its normal size.
void save_screen(QWidget& window, const QString& name);

// The next modal window (box or dialog) that opens gets `answer`, which looks at
// it and closes it, e.g. by a key. Gives up after a few seconds.
void answer_next_modal(std::function<void(QWidget& modal)> answer);

// What a modal box showed before it was answered.
struct seen_box {
  QString caption;
  QString text;
  QString default_button;  // the text of its default button
  bool shown = false;
};
// Answers the next message box with the key (Qt::Key_Return, Qt::Key_Escape),
// keeping what it showed and, when a name is given, its picture.
void answer_next_box(seen_box& seen, int key, const QString& screen_name = QString());
