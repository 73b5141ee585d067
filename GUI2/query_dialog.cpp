// The query dialog. Its checks run in a fixed order (name, SELECT, emptiness) and
// each failure keeps the dialog open with what was typed; only OK with a passing
// text ends it with the name and the text stored.
#include "GUI2/query_dialog.h"

#include "GUI2/guarded_call.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_desktop.h"
#include "TK/tk_log.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

bool is_blank(QChar c)
{
  return c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char(' ');
}

const wchar_t select_refused[] = L"The query must start with SELECT.";

std::wstring syntax_error_text()
{
  return L"You have an error in your query syntax. Make sure that it is a correct SQL SELECT-statement. "
         L"Contact " +
         QString::fromUtf8(tk_support_address).toStdWString() + L" if the error persists.";
}

QPushButton* named_button(const QString& text, int id, QWidget* parent)
{
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QStringLiteral("c%1").arg(id));
  button->setAutoDefault(false);
  return button;
}

} // namespace

query_dialog::query_dialog(const QString& name, const QString& sql, query_tester tester, QWidget* owner)
    : QDialog(owner), tester_(std::move(tester)), name_(name), sql_(sql)
{
  tk_log_message(1, "set_query_dlg::set_query_dlg");
  setObjectName(QStringLiteral("query_dialog"));
  setWindowTitle(QStringLiteral("Add Query"));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  auto* name_label = new QLabel(QStringLiteral("&Store as Table:"), this);
  name_edit_ = new QLineEdit(name_, this);
  name_edit_->setObjectName(QStringLiteral("c1019"));
  name_edit_->setMaxLength(max_name_length);
  name_label->setBuddy(name_edit_);
  auto* sql_label = new QLabel(QStringLiteral("&Query:"), this);
  sql_edit_ = new QPlainTextEdit(sql_, this);
  sql_edit_->setObjectName(QStringLiteral("c1020"));
  sql_edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  sql_edit_->setTabChangesFocus(true);
  sql_label->setBuddy(sql_edit_);
  layout->addWidget(name_label);
  layout->addWidget(name_edit_);
  layout->addWidget(sql_label);
  layout->addWidget(sql_edit_, 1);

  auto* buttons = new QDialogButtonBox(this);
  auto* ok = named_button(QStringLiteral("OK"), 1, this);
  ok->setDefault(true);
  auto* cancel = named_button(QStringLiteral("Cancel"), 2, this);
  auto* test = named_button(QStringLiteral("&Test Query"), 129, this);
  auto* help = named_button(QStringLiteral("Help"), 9, this);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel, QDialogButtonBox::RejectRole);
  buttons->addButton(test, QDialogButtonBox::ActionRole);
  buttons->addButton(help, QDialogButtonBox::HelpRole);
  layout->addWidget(buttons);
  resize(520, 320);

  // The box's accept/reject would end the dialog before the checks: the
  // buttons are wired one by one instead.
  connect(ok, &QPushButton::clicked, this, [this] { gui::guarded([this] { on_ok(); }); });
  connect(cancel, &QPushButton::clicked, this, [this] {
    tk_log_message(1, "set_query_dlg::on_cancel");
    reject();
  });
  connect(test, &QPushButton::clicked, this, [this] { gui::guarded([this] { on_test_query(); }); });
  connect(help, &QPushButton::clicked, this,
          [] { gui::guarded([] { wizard_shell::display_help(help_topic); }); });
  name_edit_->setFocus();
}

bool query_dialog::check_query(const QString& typed, QString& stored)
{
  stored = typed;
  if (typed.isEmpty())
    return false;
  qsizetype first = 0;
  while (first < typed.size() && is_blank(typed[first]))
    ++first;
  if (first < typed.size())
    stored = typed.mid(first);
  return stored.size() < 6 || QStringView(stored).left(6).compare(u"SELECT", Qt::CaseInsensitive) != 0;
}

void query_dialog::on_ok()
{
  tk_log_message(1, "set_query_dlg::on_ok");
  const QString name = name_edit_->text();
  if (name.isEmpty()) {
    wizard_shell::message(L"Table name is empty!");
    return;
  }
  QString stored;
  if (check_query(sql_edit_->toPlainText(), stored)) {
    wizard_shell::error(std::wstring(select_refused));
    return;
  }
  if (stored.isEmpty()) {
    wizard_shell::error(std::wstring(L"Query is empty!"));
    return;
  }
  name_ = name;
  sql_ = stored;
  accept();
}

void query_dialog::on_test_query()
{
  const QString typed = sql_edit_->toPlainText();
  QString stored;
  if (check_query(typed, stored)) {
    wizard_shell::error(std::wstring(select_refused));
    return;
  }
  // The text goes as typed: the check reads it exactly as a run would.
  const bool readable = tester_ && tester_(typed.toStdWString());
  if (readable)
    wizard_shell::message(L"The query is correct.");
  else
    wizard_shell::error(syntax_error_text());
}
