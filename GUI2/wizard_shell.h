// The wizard's window and the program-wide services behind it: message boxes
// usable from any thread, context help, the progress timer, the page log box and
// the list of conversion errors. Pages are borrowed; they must outlive the run.
#pragma once

#include "TK/tk_singl.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QString>

#include <atomic>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QStackedWidget;
class QTimer;
class QWidget;
class wizard_page;

// The flag that makes No the default button of a question.
inline constexpr unsigned mb_defbutton2 = 0x100;

// The sheet's own buttons that enable_button knows.
inline constexpr int wizard_cancel_button = 2;
inline constexpr int wizard_help_button = 9;

class wizard_shell : public QDialog, public tk_singleton<wizard_shell> {
  Q_OBJECT
public:
  // The modal results.
  static constexpr int result_cancel = 0;
  static constexpr int result_finish = 1;

  // The first shell built becomes the singleton.
  wizard_shell(const QString& title, const QIcon& icon, const QPixmap& watermark, const QPixmap& header);
  ~wizard_shell() override;

  void add_page(wizard_page& page);
  int page_count() const noexcept { return static_cast<int>(pages_.size()); }
  wizard_page* page_at(int index) const;
  wizard_page* find_page(int id) const;
  wizard_page* current_page() const;

  // Activates the first page that accepts, then runs the wizard modally; the
  // result is result_finish or result_cancel.
  int run();
  // Activates the first page that accepts without running modally (for a
  // caller that shows the window itself). The window's minimum size is what
  // its layouts need; its start size fits the screen's free area, unless the
  // minimum is larger.
  void start();

  // The buttons of the page, as the user would press them.
  void press_next();
  void press_back();
  void press_finish();
  void press_cancel();
  void press_help();
  // Makes the page with that id current, as a jump from the current one.
  void go_to(int id);

  const QString& title() const noexcept { return title_; }
  // Set at the first page activation.
  void initialize_if();
  static bool is_initialized();

  // Boxes from any thread, before the shell exists and after it is gone. The
  // caption is "<title> Error" once the shell is initialised, else "Error".
  static void error(const std::wstring& text);
  static void error(const std::string& text);
  static void message(const std::wstring& text);
  // Yes/No; true for Yes. mb_defbutton2 in the flags makes No the default.
  static bool question(const std::wstring& text, unsigned flags);

  // Shows the help page of the context id, or the main page, in the program's
  // help window (GUI2/help_window.h); a missing page is an error box.
  static void display_help(int context_id);
  static void display_help();
  // The folder of the help pages: help/ beside the program unless set.
  static void set_help_folder(const std::string& folder);
  static std::string help_folder();

  // From any thread. A second set_timer before kill_timer is an internal error.
  void set_timer(unsigned period_ms);
  // A run's start, on its converting thread: the progress timer of the shell
  // (whose ticks reach the current page on the GUI thread). Without a shell it
  // is an internal error.
  static constexpr unsigned progress_tick_ms = 200;
  static void start_progress_timer() { instance().set_timer(progress_tick_ms); }
  void kill_timer();
  bool timer_running() const noexcept { return timer_running_.load(); }

  // Appends the text to the current page's log box (control 1016); nothing
  // when the page has none. From any thread.
  void write_log(const std::wstring& text);

  // The sheet's own buttons: wizard_cancel_button and wizard_help_button.
  void enable_button(int control_id, bool enable);
  // The shell's button mask; a page sets it through its own set_wizard_buttons.
  void set_wizard_buttons(unsigned buttons);

  // The errors reported while the wizard is shown, at most max_errors of them.
  static constexpr std::size_t max_errors = 20;
  std::vector<std::string> errors;

protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  // The start size: the pages' wish, within the screen's free area.
  QSize start_size() const;
  void move_by(int step, int code);
  // Activates the page at the index, skipping in the direction of travel; false
  // when no page there accepts, which leaves the current page where it is.
  bool activate_from(int index, int step);
  void show_page(int index);
  void on_tick();

  QString title_;
  bool initialized_ = false;
  std::atomic<bool> timer_running_{false};
  std::vector<QPointer<wizard_page>> pages_;
  int current_ = -1;
  unsigned buttons_ = 0;

  QPixmap watermark_;
  QPixmap header_;
  QWidget* header_band_ = nullptr;
  QLabel* header_title_ = nullptr;
  QLabel* header_subtitle_ = nullptr;
  QLabel* watermark_label_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* finish_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* help_ = nullptr;
  QTimer* timer_ = nullptr;
};
