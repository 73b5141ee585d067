// The page stack on a QDialog. Navigation keeps one invariant: the current page
// is the last one whose page_init accepted; a move that finds no page to accept
// leaves it in place. Every hook runs guarded (GUI2/guarded_call.h).
#include "GUI2/wizard_shell.h"

#include "GUI2/box_fit.h"
#include "GUI2/guarded_call.h"
#include "GUI2/help_window.h"
#include "GUI2/gui_thread.h"
#include "GUI2/wizard_page.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_module.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <mutex>

namespace {

std::mutex help_mutex;
std::string help_folder_override;

QFrame* separator(QWidget* parent)
{
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QPushButton* wizard_button(const QString& text, QWidget* parent)
{
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  return button;
}

// The caption of a box: the shell's title before the kind once the wizard has shown.
QString caption(const char* kind)
{
  if (wizard_shell::is_initialized())
    return wizard_shell::instance().title() + QLatin1Char(' ') + QLatin1String(kind);
  return QLatin1String(kind);
}

// Shows a box on the GUI thread, application-modal, and returns the button pressed.
QMessageBox::StandardButton show_box(QMessageBox::Icon icon, const char* kind, const QString& text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton default_button)
{
  QMessageBox::StandardButton answer = default_button;
  gui::run_on_gui_thread([&] {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
      // No widgets can exist yet: the text goes to standard error instead.
      std::fprintf(stderr, "%s: %s\n", caption(kind).toUtf8().constData(), text.toUtf8().constData());
      return;
    }
    QWidget* owner = nullptr;
    if (wizard_shell::is_initialized() && wizard_shell::instance().isVisible())
      owner = &wizard_shell::instance();
    QMessageBox box(icon, caption(kind), text, buttons, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(default_button);
    if (auto* message = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
      fit_box_to_text(box, *message);
    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    answer = pressed == QMessageBox::NoButton ? default_button : pressed;
  });
  return answer;
}

} // namespace

wizard_shell::wizard_shell(const QString& title, const QIcon& icon, const QPixmap& watermark,
                           const QPixmap& header)
    : title_(title), watermark_(watermark), header_(header)
{
  setWindowTitle(title_);
  if (!icon.isNull())
    setWindowIcon(icon);
  setObjectName(QStringLiteral("wizard"));

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  // The window is never smaller than its layouts need: below that, buttons
  // would become slivers and group boxes collapse.
  outer->setSizeConstraint(QLayout::SetMinimumSize);

  auto* body = new QHBoxLayout;
  body->setSpacing(0);
  watermark_label_ = new QLabel(this);
  watermark_label_->setPixmap(watermark_);
  watermark_label_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  watermark_label_->setVisible(false);
  body->addWidget(watermark_label_);

  auto* column = new QVBoxLayout;
  column->setSpacing(0);
  header_band_ = new QWidget(this);
  header_band_->setObjectName(QStringLiteral("header"));
  header_band_->setAutoFillBackground(true);
  QPalette band = header_band_->palette();
  band.setColor(QPalette::Window, band.color(QPalette::Base));
  header_band_->setPalette(band);
  auto* band_layout = new QHBoxLayout(header_band_);
  band_layout->setContentsMargins(16, 8, 8, 8);
  auto* band_texts = new QVBoxLayout;
  header_title_ = new QLabel(header_band_);
  QFont bold = header_title_->font();
  bold.setBold(true);
  header_title_->setFont(bold);
  header_subtitle_ = new QLabel(header_band_);
  header_subtitle_->setIndent(16);
  band_texts->addWidget(header_title_);
  band_texts->addWidget(header_subtitle_);
  band_layout->addLayout(band_texts, 1);
  auto* header_picture = new QLabel(header_band_);
  header_picture->setPixmap(header_);
  band_layout->addWidget(header_picture);
  column->addWidget(header_band_);
  column->addWidget(separator(this));

  stack_ = new QStackedWidget(this);
  stack_->setContentsMargins(20, 12, 20, 12);
  column->addWidget(stack_, 1);
  body->addLayout(column, 1);
  outer->addLayout(body, 1);
  outer->addWidget(separator(this));

  auto* row = new QHBoxLayout;
  row->setContentsMargins(10, 10, 10, 10);
  help_ = wizard_button(tr("&Help"), this);
  back_ = wizard_button(tr("< &Back"), this);
  next_ = wizard_button(tr("&Next >"), this);
  finish_ = wizard_button(tr("&Finish"), this);
  cancel_ = wizard_button(tr("Cancel"), this);
  help_->setObjectName(QStringLiteral("c9"));
  back_->setObjectName(QStringLiteral("c12323"));
  next_->setObjectName(QStringLiteral("c12324"));
  finish_->setObjectName(QStringLiteral("c12325"));
  cancel_->setObjectName(QStringLiteral("c2"));
  row->addWidget(help_);
  row->addStretch(1);
  row->addWidget(back_);
  row->addWidget(next_);
  row->addWidget(finish_);
  row->addSpacing(8);
  row->addWidget(cancel_);
  outer->addLayout(row);

  connect(back_, &QPushButton::clicked, this, [this] { press_back(); });
  connect(next_, &QPushButton::clicked, this, [this] { press_next(); });
  connect(finish_, &QPushButton::clicked, this, [this] { press_finish(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { press_cancel(); });
  connect(help_, &QPushButton::clicked, this, [this] { press_help(); });

  // F1 anywhere in the wizard reaches the current page, with or without a Help button.
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setContext(Qt::WindowShortcut);
  connect(f1, &QShortcut::activated, this, [this] {
    if (wizard_page* page = current_page())
      gui::guarded([page] { page->on_help(); });
  });

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { on_tick(); });
  set_wizard_buttons(wizb_none);
}

wizard_shell::~wizard_shell()
{
  initialized_ = false;
  timer_->stop();
  timer_running_ = false;
  // Pages belong to their creator: the stack must not delete them.
  for (const QPointer<wizard_page>& page : pages_)
    if (page)
      page->setParent(nullptr);
}

void wizard_shell::add_page(wizard_page& page)
{
  pages_.emplace_back(&page);
  stack_->addWidget(&page);
}

wizard_page* wizard_shell::page_at(int index) const
{
  if (index < 0 || index >= page_count())
    return nullptr;
  return pages_[static_cast<std::size_t>(index)].data();
}

wizard_page* wizard_shell::find_page(int id) const
{
  for (const QPointer<wizard_page>& page : pages_)
    if (page && page->id() == id)
      return page.data();
  return nullptr;
}

wizard_page* wizard_shell::current_page() const
{
  return page_at(current_);
}

int wizard_shell::run()
{
  start();
  return exec();
}

void wizard_shell::start()
{
  if (current_ >= 0)
    return;
  activate_from(0, 1);
  // The minimum size is set now, before the window exists, so that the first
  // show hands the window system no change of it.
  layout()->activate();
  resize(start_size());
}

QSize wizard_shell::start_size() const
{
  // The size of a desktop wizard, or more when a page asks for it, as far as
  // the screen's free area takes it with the frame around it.
  const QSize wanted = sizeHint().expandedTo(QSize(560, 400));
  const QScreen* room = screen();
  if (room == nullptr)
    return wanted;
  const int line = fontMetrics().height();
  const QSize frame(line, 3 * line);
  return wanted.boundedTo(room->availableGeometry().size() - frame).expandedTo(minimumSize());
}

void wizard_shell::press_next()
{
  wizard_page* page = current_page();
  if (page == nullptr || !next_->isEnabled())
    return;
  int code = wizard_page::stay;
  gui::guarded([&] { code = page->on_next(); });
  move_by(1, code);
}

void wizard_shell::press_back()
{
  wizard_page* page = current_page();
  if (page == nullptr || !back_->isEnabled())
    return;
  int code = wizard_page::stay;
  gui::guarded([&] { code = page->on_back(); });
  move_by(-1, code);
}

void wizard_shell::go_to(int id)
{
  move_by(1, id);
}

void wizard_shell::move_by(int step, int code)
{
  if (code == wizard_page::stay || current_ < 0)
    return;
  int target = current_ + step;
  if (code != wizard_page::go_adjacent) {
    wizard_page* page = find_page(code);
    if (page == nullptr)
      return;
    for (int i = 0; i < page_count(); ++i)
      if (page_at(i) == page)
        target = i;
  }
  wizard_page* leaving = current_page();
  bool may_leave = false;
  gui::guarded([&] { may_leave = leaving->on_kill_active(); });
  if (!may_leave)
    return;
  if (!activate_from(target, step)) {
    // The move failed: the page stays as it was.
    set_wizard_buttons(leaving->buttons());
    help_->setEnabled(leaving->has_help());
  }
}

bool wizard_shell::activate_from(int index, int step)
{
  for (int i = index; i >= 0 && i < page_count(); i += step) {
    wizard_page* page = page_at(i);
    if (page == nullptr)
      continue;
    // The page's own buttons first, so that buttons set in page_init win.
    set_wizard_buttons(page->buttons());
    help_->setEnabled(page->has_help());
    cancel_->setEnabled(true);
    initialize_if();
    const int previous = current_;
    current_ = i;
    int shown = 0;
    if (!gui::guarded([&] { shown = page->page_init(); })) {
      // A page that cannot start is not entered, and no further page either.
      current_ = previous;
      return false;
    }
    if (shown > 0) {
      show_page(i);
      return true;
    }
    current_ = previous;
  }
  return false;
}

void wizard_shell::show_page(int index)
{
  wizard_page* page = page_at(index);
  stack_->setCurrentWidget(page);
  const bool exterior = page->exterior();
  watermark_label_->setVisible(exterior);
  header_band_->setVisible(!exterior);
  header_title_->setText(page->header_title());
  header_subtitle_->setText(page->header_subtitle());
}

void wizard_shell::press_finish()
{
  wizard_page* page = current_page();
  if (page == nullptr)
    return;
  bool done_ok = false;
  gui::guarded([&] { done_ok = page->on_finish(); });
  if (done_ok) {
    kill_timer();
    done(result_finish);
  }
}

void wizard_shell::press_cancel()
{
  wizard_page* page = current_page();
  if (page == nullptr || !cancel_->isEnabled())
    return;
  bool close_it = false;
  gui::guarded([&] { close_it = page->on_cancel(); });
  if (close_it) {
    kill_timer();
    done(result_cancel);
  }
}

void wizard_shell::press_help()
{
  wizard_page* page = current_page();
  if (page != nullptr && help_->isEnabled())
    gui::guarded([page] { page->on_help(); });
}

void wizard_shell::reject()
{
  press_cancel();
}

void wizard_shell::keyPressEvent(QKeyEvent* event)
{
  // Escape means Cancel only where Cancel acts (not on the finish page).
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !cancel_->isEnabled()) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void wizard_shell::closeEvent(QCloseEvent* event)
{
  // The close box is Cancel, or Finish where Cancel is disabled; either may keep
  // the window open.
  event->ignore();
  if (cancel_->isEnabled())
    press_cancel();
  else
    press_finish();
}

void wizard_shell::set_wizard_buttons(unsigned buttons)
{
  buttons_ = buttons;
  const bool finish = (buttons & wizb_finish) != 0;
  back_->setEnabled((buttons & wizb_back) != 0);
  next_->setVisible(!finish);
  next_->setEnabled((buttons & wizb_next) != 0);
  finish_->setVisible(finish);
  next_->setDefault(!finish && next_->isEnabled());
  finish_->setDefault(finish);
}

void wizard_shell::enable_button(int control_id, bool enable)
{
  if (control_id == wizard_cancel_button)
    cancel_->setEnabled(enable);
  else if (control_id == wizard_help_button)
    help_->setEnabled(enable);
}

void wizard_shell::initialize_if()
{
  if (initialized_)
    return;
  // The title and icon are set at construction; Qt centres the dialog itself.
  initialized_ = true;
}

bool wizard_shell::is_initialized()
{
  return exists() && instance().initialized_;
}

void wizard_shell::error(const std::wstring& text)
{
  show_box(QMessageBox::Critical, "Error", QString::fromStdWString(text), QMessageBox::Ok, QMessageBox::Ok);
  tk_log_message(3, L"%s", text);
}

void wizard_shell::error(const std::string& text)
{
  show_box(QMessageBox::Critical, "Error", QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
           QMessageBox::Ok, QMessageBox::Ok);
  tk_log_message(3, "%s", text);
}

void wizard_shell::message(const std::wstring& text)
{
  show_box(QMessageBox::Information, "Message", QString::fromStdWString(text), QMessageBox::Ok,
           QMessageBox::Ok);
  tk_log_message(3, L"%s", text);
}

bool wizard_shell::question(const std::wstring& text, unsigned flags)
{
  const auto default_button = (flags & mb_defbutton2) != 0 ? QMessageBox::No : QMessageBox::Yes;
  return show_box(QMessageBox::Question, "Question", QString::fromStdWString(text),
                  QMessageBox::Yes | QMessageBox::No, default_button) == QMessageBox::Yes;
}

void wizard_shell::set_help_folder(const std::string& folder)
{
  const std::lock_guard lock(help_mutex);
  help_folder_override = folder;
}

std::string wizard_shell::help_folder()
{
  std::string folder;
  {
    const std::lock_guard lock(help_mutex);
    folder = help_folder_override;
  }
  // The program's folder ends with its '/'.
  if (folder.empty())
    folder = tk_get_module_dir<std::string>() + "help";
  return QDir::cleanPath(QString::fromStdString(folder)).toStdString();
}

namespace {

// Shows help/<page> in the program's help window, or says that help is not installed.
void open_help_page(const QString& page)
{
  const QString folder = QString::fromStdString(wizard_shell::help_folder());
  if (!QFileInfo(folder + QLatin1Char('/') + page).isFile()) {
    wizard_shell::error(L"Help file does not exist. Reinstall the program.");
    return;
  }
  gui::run_on_gui_thread([&] { help_window::show_page(folder, page); });
}

} // namespace

void wizard_shell::display_help(int context_id)
{
  open_help_page(QStringLiteral("%1.html").arg(context_id));
}

void wizard_shell::display_help()
{
  open_help_page(QStringLiteral("index.html"));
}

void wizard_shell::set_timer(unsigned period_ms)
{
  if (timer_running_.exchange(true))
    throw tk_mail_assertion("g_wiz_sh", 281);
  const int period = static_cast<int>(period_ms);
  auto start = [this, period] {
    if (timer_running_)
      timer_->start(period);
  };
  if (gui::on_gui_thread())
    start();
  else
    QMetaObject::invokeMethod(this, start, Qt::QueuedConnection);
}

void wizard_shell::kill_timer()
{
  if (!timer_running_.exchange(false))
    return;
  auto stop = [this] {
    if (!timer_running_)
      timer_->stop();
  };
  if (gui::on_gui_thread())
    stop();
  else
    QMetaObject::invokeMethod(this, stop, Qt::QueuedConnection);
}

void wizard_shell::on_tick()
{
  if (wizard_page* page = current_page())
    gui::guarded([page] { page->on_timer(); });
}

void wizard_shell::write_log(const std::wstring& text)
{
  auto append = [this, line = QString::fromStdWString(text)] {
    wizard_page* page = current_page();
    auto* box = page == nullptr ? nullptr : page->findChild<QPlainTextEdit*>(QStringLiteral("c1016"));
    if (box == nullptr) {
      tk_log_message(2, "Editbox failed to be initialized");
      return;
    }
    box->moveCursor(QTextCursor::End);
    box->insertPlainText(line);
    box->ensureCursorVisible();
  };
  // Waits for the GUI thread, so that lines from both threads keep their order.
  gui::run_on_gui_thread(append);
}
