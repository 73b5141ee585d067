// The program's help viewer: the help pages that come with the program, shown
// in a window of its own, so that help shows on a desktop without a web
// browser. Links between the pages stay in the window; a link that leads
// elsewhere goes to the desktop's opener. One window serves every request.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QTextBrowser;
class QUrl;

class help_window : public QDialog {
  Q_OBJECT
public:
  // Shows the page, a file of the help folder, in the help window, making the
  // window first when there is none, above the window the user works in. On
  // the GUI thread.
  static void show_page(const QString& folder, const QString& page);
  // The window shown last; null when there is none or it was closed.
  static help_window* current();

  // The file name of the page shown.
  QString page() const;
  QTextBrowser& browser() const noexcept { return *browser_; }

private:
  explicit help_window(QWidget* owner);
  void follow(const QUrl& link);

  QString folder_;
  QTextBrowser* browser_;
  QPushButton* back_;
};
