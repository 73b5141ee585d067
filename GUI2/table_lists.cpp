// The two entry lists and the moves between them. A move takes the item object
// itself across, so its kind cannot be lost or re-guessed on the way.
#include "GUI2/table_lists.h"

#include "TK/tk_log.h"

#include <QItemSelectionModel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <vector>

entry_item::entry_item(const QString& name, entry_kind kind) : QListWidgetItem(name)
{
  setData(kind_role, static_cast<int>(kind));
}

bool entry_item::operator<(const QListWidgetItem& other) const
{
  const QString mine = text();
  const QString theirs = other.text();
  const int folded = mine.compare(theirs, Qt::CaseInsensitive);
  if (folded != 0)
    return folded < 0;
  return mine.compare(theirs, Qt::CaseSensitive) < 0;
}

QListWidgetItem* entry_item::clone() const
{
  return new entry_item(text(), kind_of(*this));
}

entry_kind entry_item::kind_of(const QListWidgetItem& item)
{
  return item.data(kind_role).toInt() == static_cast<int>(entry_kind::query) ? entry_kind::query
                                                                             : entry_kind::table;
}

entry_list::entry_list(QWidget* parent) : QListWidget(parent)
{
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSortingEnabled(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void entry_list::add(const QString& name, entry_kind kind)
{
  addItem(new entry_item(name, kind));
}

QListWidgetItem* entry_list::find_exact(const QString& name, entry_kind kind) const
{
  for (int row = 0; row < count(); ++row) {
    QListWidgetItem* candidate = item(row);
    if (entry_item::kind_of(*candidate) == kind && candidate->text() == name)
      return candidate;
  }
  return nullptr;
}

bool entry_list::holds_name(const QString& name, const QListWidgetItem* except) const
{
  for (int row = 0; row < count(); ++row) {
    const QListWidgetItem* candidate = item(row);
    if (candidate != except && candidate->text().compare(name, Qt::CaseInsensitive) == 0)
      return true;
  }
  return false;
}

bool entry_list::holds_name_of_kind(const QString& name, entry_kind kind) const
{
  for (int row = 0; row < count(); ++row) {
    const QListWidgetItem* candidate = item(row);
    if (entry_item::kind_of(*candidate) == kind && candidate->text().compare(name, Qt::CaseInsensitive) == 0)
      return true;
  }
  return false;
}

void entry_list::paintEvent(QPaintEvent* event)
{
  QListWidget::paintEvent(event);
  if (count() > 0 || !hasFocus())
    return;
  QPainter painter(viewport());
  QStyleOptionFocusRect focus;
  focus.initFrom(this);
  focus.rect = viewport()->rect().adjusted(1, 1, -1, -1);
  focus.backgroundColor = palette().color(QPalette::Base);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

namespace {

// Carries the item at the row across; the lists own their items, so it is taken
// out of one before the other adopts it.
void move_row(entry_list& from, entry_list& to, int row, const item_moved& moved)
{
  QListWidgetItem* item = from.takeItem(row);
  if (item == nullptr)
    return;
  to.addItem(item);
  if (moved)
    moved(*item);
}

} // namespace

void move_selected(entry_list& from, entry_list& to, const item_moved& moved)
{
  std::vector<int> rows;
  for (const QModelIndex& index : from.selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  tk_log_message(2, "n_sel=%d", static_cast<int>(rows.size()));
  if (rows.empty())
    return;
  const int count = static_cast<int>(rows.size());
  // Each move shifts the later rows up by one.
  for (int k = 0; k < count; ++k) {
    tk_log_message(2, "Moving item #%d", rows[static_cast<std::size_t>(k)]);
    move_row(from, to, rows[static_cast<std::size_t>(k)] - k, moved);
  }
  if (from.count() > 0) {
    const int follower = std::min(rows.back() - count + 1, from.count() - 1);
    from.setCurrentRow(follower, QItemSelectionModel::ClearAndSelect);
    return;
  }
  to.clearSelection();
  to.setFocus();
  to.setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
}

void move_all(entry_list& from, entry_list& to, const item_moved& moved)
{
  while (from.count() > 0)
    move_row(from, to, 0, moved);
  to.setFocus();
  to.setCurrentRow(0, QItemSelectionModel::NoUpdate);
}
