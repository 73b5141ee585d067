// The wizard's tables page: the database's base tables and the saved queries on
// the left, what the run converts on the right, and the query dialog to add or
// edit a query. Each query's (name, SQL) pair sits in exactly one of the page's
// two query lists: selected while its item is on the right, available otherwise.
#pragma once

#include "GUI2/table_lists.h"
#include "GUI2/wizard_page.h"

#include <string>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;
class qorvant_converter;

class tables_page : public wizard_page {
  Q_OBJECT
public:
  static constexpr int help_page = 1014;
  using name_text = std::pair<std::wstring, std::wstring>;

  explicit tables_page(qorvant_converter& converter);

  // Rebuilds both lists from the database and the converter. A table listing
  // that fails is reported and the wizard returns to the database page.
  int page_init() override;
  // Asks the no-tables question when tables are offered and nothing is picked;
  // stores the selection in the converter.
  int on_next() override;
  void on_help() override;

  // The buttons and double clicks.
  void on_add();
  void on_delete();
  void on_add_all();
  void on_del_all();
  void on_add_query();
  void on_edit_query();

  const std::vector<name_text>& selected_queries() const noexcept { return selected_queries_; }
  const std::vector<name_text>& available_queries() const noexcept { return available_queries_; }

private:
  // Puts the converter's selection back on the right: tables (empty SQL) move
  // across, queries are added there.
  void select_items(const std::vector<name_text>& items);
  void select_table(const std::wstring& name);
  // The pair follows its item from list to list.
  void on_item_added(QListWidgetItem& item);
  void on_item_removed(QListWidgetItem& item);
  // Another item already answers to the name (ignoring case): an item on the
  // right, or a query on the left.
  bool name_taken(const QString& name, const QListWidgetItem* except) const;
  // Runs the query dialog until it is cancelled or gives a name no other item
  // takes; false when cancelled.
  bool ask_query(QString& name, QString& sql, const QListWidgetItem* except);
  // Back to the database page once the shell has finished this activation.
  void return_to_database_page();

  qorvant_converter& converter_;
  entry_list* available_;
  entry_list* selected_;
  QLabel* intro_;
  QLabel* available_label_;
  QLabel* selected_label_;
  QPushButton* add_query_;
  std::vector<name_text> selected_queries_;
  std::vector<name_text> available_queries_;
};
