// The Continue/Abort and internal-error dialogs, built in code. Every control
// carries its resource id as object name ("c<id>") so that callers and tests
// find it; each button ends the dialog with its own id as the result.
#include "GUI2/error_dialogs.h"

#include "GUI2/box_fit.h"
#include "TK/tk_desktop.h"
#include "TK/tk_log.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

QString error_caption(const QString& shell_title)
{
  return shell_title.isEmpty() ? QStringLiteral("Error") : shell_title + QStringLiteral(" Error");
}

namespace {

// The error icon on the left, the text to its right, the buttons below it; the
// text is never read as markup: it may hold whatever a server or a file said.
QVBoxLayout* error_frame(QDialog& dialog, const QString& text)
{
  dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* icon = new QLabel(&dialog);
  const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
  icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, &dialog).pixmap(size, size));
  icon->setAlignment(Qt::AlignTop);

  auto* message = new QLabel(text, &dialog);
  message->setObjectName(QStringLiteral("c1320"));
  message->setTextFormat(Qt::PlainText);
  message->setWordWrap(true);
  message->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* body = new QVBoxLayout;
  body->addWidget(message);
  auto* row = new QHBoxLayout(&dialog);
  row->addWidget(icon);
  row->addLayout(body, 1);
  return body;
}

QPushButton* add_button(QDialog& dialog, QHBoxLayout& row, const QString& text, int id)
{
  auto* button = new QPushButton(text, &dialog);
  button->setObjectName(QStringLiteral("c%1").arg(id));
  button->setAutoDefault(false);
  row.addWidget(button);
  return button;
}

} // namespace

dlg_error_continue::dlg_error_continue(const QString& text, const QString& shell_title, QWidget* owner)
    : QDialog(owner)
{
  tk_log_message(2, "dlg_error_continue::ctor");
  setWindowTitle(error_caption(shell_title));
  QVBoxLayout* body = error_frame(*this, text);

  do_not_show_box_ = new QCheckBox(QStringLiteral("&Do not show this dialog box again"), this);
  do_not_show_box_->setObjectName(QStringLiteral("c1222"));
  body->addWidget(do_not_show_box_);

  auto* buttons = new QHBoxLayout;
  QPushButton* go_on = add_button(*this, *buttons, QStringLiteral("Continue"), continue_id);
  QPushButton* stop = add_button(*this, *buttons, QStringLiteral("Abort"), abort_id);
  buttons->addStretch();
  body->addLayout(buttons);
  go_on->setDefault(true);
  go_on->setFocus();
  connect(go_on, &QPushButton::clicked, this, [this] { done(continue_id); });
  connect(stop, &QPushButton::clicked, this, [this] { done(abort_id); });
  fit_box_to_text(*this, *findChild<QLabel*>(QStringLiteral("c1320")));
}

bool dlg_error_continue::do_not_show() const
{
  return do_not_show_box_->isChecked();
}

void dlg_error_continue::reject()
{
  done(continue_id);
}

dlg_error_ex::dlg_error_ex(const QString& text, const QString& shell_title, QWidget* owner)
    : QDialog(owner), text_(text), shell_title_(shell_title)
{
  tk_log_message(2, "dlg_error_ex::ctor");
  setWindowTitle(error_caption(shell_title));
  // No close box: closing does nothing here, so the frame should not offer it.
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  QVBoxLayout* body = error_frame(*this, text);

  auto* buttons = new QHBoxLayout;
  QPushButton* send = add_button(*this, *buttons, QStringLiteral("Send bug"), send_bug_id);
  QPushButton* ok = add_button(*this, *buttons, QStringLiteral("OK"), ok_id);
  QPushButton* copy = add_button(*this, *buttons, QStringLiteral("Copy to clipboard"), copy_id);
  buttons->addStretch();
  body->addLayout(buttons);
  send->setDefault(true);
  send->setFocus();
  connect(send, &QPushButton::clicked, this, [this] { send_bug(); });
  connect(ok, &QPushButton::clicked, this, [this] { done(ok_id); });
  connect(copy, &QPushButton::clicked, this, [this] { copy_to_clipboard(); });
  fit_box_to_text(*this, *findChild<QLabel*>(QStringLiteral("c1320")));
}

void dlg_error_ex::copy_to_clipboard()
{
  tk_copy_to_clipboard2(text_.toStdWString());
  done(copy_id);
}

void dlg_error_ex::send_bug()
{
  tk_send_bug(shell_title_.toStdString(), text_.toStdString());
  done(send_bug_id);
}
