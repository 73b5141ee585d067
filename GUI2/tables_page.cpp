// The tables page. Both lists are rebuilt from the database and the converter at
// every activation, so visiting the page again shows each entry once; only Next
// stores what was chosen. Whether an item is a query is told by the item itself.
#include "GUI2/tables_page.h"

#include "GUI2/guarded_call.h"
#include "GUI2/query_dialog.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "common/qvt_converter.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <iterator>

namespace {

QPushButton* page_button(const QString& text, int id, QWidget* parent)
{
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QStringLiteral("c%1").arg(id));
  button->setAutoDefault(false);
  return button;
}

QString q(const std::wstring& text)
{
  return QString::fromStdWString(text);
}

// The first pair of that name (case-sensitive, whole), or the end.
std::vector<tables_page::name_text>::iterator find_pair(std::vector<tables_page::name_text>& pairs,
                                                        const std::wstring& name)
{
  return std::find_if(pairs.begin(), pairs.end(), [&](const tables_page::name_text& p) { return p.first == name; });
}

} // namespace

tables_page::tables_page(qorvant_converter& converter)
    : wizard_page(page_tables, wizb_back | wizb_next, psp_has_help), converter_(converter)
{
  tk_log_message(2, "sel_tables_page::ctor(b_reorder=%d)", 0);
  setObjectName(QStringLiteral("tables_page"));
  set_header(QStringLiteral("Step 3 of 5"), QStringLiteral("Select tables"));

  auto* page = new QVBoxLayout(this);
  intro_ = new QLabel(this);
  intro_->setObjectName(QStringLiteral("c1337"));
  page->addWidget(intro_);

  auto* grid = new QGridLayout;
  available_label_ = new QLabel(this);
  available_label_->setObjectName(QStringLiteral("c1334"));
  selected_label_ = new QLabel(this);
  selected_label_->setObjectName(QStringLiteral("c1312"));
  available_ = new entry_list(this);
  available_->setObjectName(QStringLiteral("c1317"));
  selected_ = new entry_list(this);
  selected_->setObjectName(QStringLiteral("c1318"));
  available_label_->setBuddy(available_);
  selected_label_->setBuddy(selected_);

  auto* moves = new QVBoxLayout;
  auto* add = page_button(QStringLiteral("A&dd >"), 1101, this);
  auto* add_all = page_button(QStringLiteral("Add a&ll >"), 1102, this);
  auto* remove = page_button(QStringLiteral("< &Remove"), 1111, this);
  auto* remove_all = page_button(QStringLiteral("< Re&move all"), 1110, this);
  // Alt+A belongs to the label of the left list.
  add_query_ = page_button(QStringLiteral("Add &Query"), 1114, this);
  moves->addStretch(1);
  moves->addWidget(add);
  moves->addWidget(add_all);
  moves->addSpacing(8);
  moves->addWidget(remove);
  moves->addWidget(remove_all);
  moves->addSpacing(16);
  moves->addWidget(add_query_);
  moves->addStretch(1);

  // Re-ordering is not offered: the right-hand list is sorted.
  auto* up = page_button(QStringLiteral("^"), 1117, this);
  auto* down = page_button(QStringLiteral("v"), 1118, this);
  up->hide();
  down->hide();

  grid->addWidget(available_label_, 0, 0);
  grid->addWidget(selected_label_, 0, 2);
  grid->addWidget(available_, 1, 0);
  grid->addLayout(moves, 1, 1);
  grid->addWidget(selected_, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(2, 1);
  page->addLayout(grid, 1);

  // Tab follows the eye, left to right: the lists were made before the buttons
  // between them.
  QWidget* const chain[] = {available_, add, add_all, remove, remove_all, selected_, add_query_};
  for (std::size_t i = 1; i < std::size(chain); ++i)
    setTabOrder(chain[i - 1], chain[i]);

  const auto guard = [this](void (tables_page::*action)()) {
    return [this, action] { gui::guarded([this, action] { (this->*action)(); }); };
  };
  connect(add, &QPushButton::clicked, this, guard(&tables_page::on_add));
  connect(add_all, &QPushButton::clicked, this, guard(&tables_page::on_add_all));
  connect(remove, &QPushButton::clicked, this, guard(&tables_page::on_delete));
  connect(remove_all, &QPushButton::clicked, this, guard(&tables_page::on_del_all));
  connect(add_query_, &QPushButton::clicked, this, guard(&tables_page::on_add_query));
  connect(available_, &QListWidget::itemDoubleClicked, this, guard(&tables_page::on_add));
  // A double click on the right edits a query; it never removes.
  connect(selected_, &QListWidget::itemDoubleClicked, this, guard(&tables_page::on_edit_query));
}

int tables_page::page_init()
{
  intro_->setText(QStringLiteral("Select MySQL tables to convert into MS Excel format."));
  available_label_->setText(QStringLiteral("&Available tables:"));
  selected_label_->setText(QStringLiteral("&Selected tables:"));

  std::vector<std::wstring> tables;
  try {
    converter_.get_all_tables(tables);
  } catch (...) {
    // The page cannot show a database it cannot list: say why, and take the user
    // back to where the database is picked, never on to the next page.
    gui::guarded([failure = std::current_exception()] { std::rethrow_exception(failure); });
    QTimer::singleShot(0, this, [this] { gui::guarded([this] { return_to_database_page(); }); });
    throw tk_final_exception();
  }

  tk_log_message(2, "sel_tables_page::do_page_init");
  available_->clear();
  selected_->clear();
  for (const std::wstring& name : tables)
    available_->add(q(name), entry_kind::table);
  if (available_->count() > 0) {
    tk_log_message(2, "Highlight 1st row");
    available_->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
  }
  add_query_->show();

  selected_queries_.clear();
  // What an earlier Next chose stays chosen.
  for (const std::wstring& name : converter_.selected_tables)
    select_table(name);
  select_items(converter_.selected_queries);

  available_queries_ = converter_.available_queries;
  for (const name_text& pair : available_queries_) {
    const QString name = q(pair.first);
    if (!pair.second.empty() && available_->find_exact(name, entry_kind::query) == nullptr &&
        selected_->find_exact(name, entry_kind::query) == nullptr)
      available_->add(name, entry_kind::query);
  }
  return 1;
}

void tables_page::select_table(const std::wstring& name)
{
  tk_log_message(2, L"Processing '%s'", name);
  QListWidgetItem* item = available_->find_exact(q(name), entry_kind::table);
  if (item == nullptr)
    return;
  selected_->addItem(available_->takeItem(available_->row(item)));
}

void tables_page::select_items(const std::vector<name_text>& items)
{
  for (const name_text& pair : items) {
    if (pair.second.empty()) {
      select_table(pair.first);
      continue;
    }
    // A query is shown as a query even where a table bears its name.
    selected_->add(q(pair.first), entry_kind::query);
    selected_queries_.push_back(pair);
  }
}

void tables_page::on_item_added(QListWidgetItem& item)
{
  if (entry_item::kind_of(item) != entry_kind::query)
    return;
  const std::wstring name = item.text().toStdWString();
  tk_log_message(2, L"sel_tables_page_ex::do_add_query(%s)", name);
  if (find_pair(selected_queries_, name) != selected_queries_.end())
    return;
  const auto pair = find_pair(available_queries_, name);
  if (pair == available_queries_.end())
    return;
  tk_log_message(2, L"Adding pair: '%s','%s'", pair->first, pair->second);
  selected_queries_.push_back(*pair);
  available_queries_.erase(pair);
}

void tables_page::on_item_removed(QListWidgetItem& item)
{
  if (entry_item::kind_of(item) != entry_kind::query)
    return;
  const auto pair = find_pair(selected_queries_, item.text().toStdWString());
  if (pair == selected_queries_.end())
    return;
  available_queries_.push_back(*pair);
  selected_queries_.erase(pair);
}

void tables_page::on_add()
{
  tk_log_message(2, "sel_tables_page::on_add");
  move_selected(*available_, *selected_, [this](QListWidgetItem& item) { on_item_added(item); });
}

void tables_page::on_delete()
{
  tk_log_message(2, "sel_tables_page::on_delete");
  move_selected(*selected_, *available_, [this](QListWidgetItem& item) { on_item_removed(item); });
}

void tables_page::on_add_all()
{
  tk_log_message(2, "sel_tables_page::on_add_all");
  move_all(*available_, *selected_, [this](QListWidgetItem& item) { on_item_added(item); });
}

void tables_page::on_del_all()
{
  tk_log_message(2, "sel_tables_page::on_del_all");
  move_all(*selected_, *available_, [this](QListWidgetItem& item) { on_item_removed(item); });
}

bool tables_page::name_taken(const QString& name, const QListWidgetItem* except) const
{
  // A query may share its name with a table offered on the left, but two
  // queries of one name could no longer be told apart by their pairs.
  return selected_->holds_name(name, except) || available_->holds_name_of_kind(name, entry_kind::query);
}

bool tables_page::ask_query(QString& name, QString& sql, const QListWidgetItem* except)
{
  for (;;) {
    query_dialog dialog(name, sql, [this](const std::wstring& text) { return converter_.test_query(text); },
                        QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
      return false;
    name = dialog.name();
    sql = dialog.sql();
    if (!name_taken(name, except))
      return true;
    wizard_shell::message(L"Duplicate table name. Try again.");
  }
}

void tables_page::on_add_query()
{
  tk_log_message(2, "sel_tables_page::on_add_query");
  QString name;
  QString sql;
  if (!ask_query(name, sql, nullptr))
    return;
  selected_->add(name, entry_kind::query);
  selected_queries_.emplace_back(name.toStdWString(), sql.toStdWString());
}

void tables_page::on_edit_query()
{
  tk_log_message(2, "sel_tables_page_ex::on_edit_query");
  QListWidgetItem* item = selected_->currentItem();
  if (item == nullptr) {
    tk_log_message(1, "Nothing is selected!");
    return;
  }
  if (entry_item::kind_of(*item) != entry_kind::query) {
    tk_log_message(1, "It's not a query, show type mapping");
    return;
  }
  const auto pair = find_pair(selected_queries_, item->text().toStdWString());
  if (pair == selected_queries_.end())
    return;
  QString name = q(pair->first);
  QString sql = q(pair->second);
  if (!ask_query(name, sql, item))
    return;
  // The dialog ran modally: look the pair up again rather than trust the iterator.
  const auto edited = find_pair(selected_queries_, item->text().toStdWString());
  if (edited != selected_queries_.end())
    selected_queries_.erase(edited);
  selected_queries_.emplace_back(name.toStdWString(), sql.toStdWString());
  delete selected_->takeItem(selected_->row(item));
  selected_->add(name, entry_kind::query);
}

int tables_page::on_next()
{
  if (available_->count() > 0 && selected_->count() == 0 &&
      !wizard_shell::question(L"There are no tables selected. Continue anyway?", mb_defbutton2))
    return stay;
  std::vector<std::wstring> tables;
  for (int row = 0; row < selected_->count(); ++row) {
    const QListWidgetItem* item = selected_->item(row);
    if (entry_item::kind_of(*item) == entry_kind::table)
      tables.push_back(item->text().toStdWString());
  }
  converter_.selected_tables = std::move(tables);
  converter_.selected_queries = selected_queries_;
  converter_.available_queries = available_queries_;
  return go_adjacent;
}

void tables_page::on_help()
{
  wizard_shell::display_help(help_page);
}

void tables_page::return_to_database_page()
{
  auto* shell = qobject_cast<wizard_shell*>(window());
  if (shell == nullptr)
    return;
  const wizard_page* current = shell->current_page();
  if (current != nullptr && current->id() != page_database)
    shell->go_to(page_database);
}

std::unique_ptr<wizard_page> make_tables_page(qorvant_converter& converter)
{
  return std::make_unique<tables_page>(converter);
}
