// The two lists of the tables page: what can be converted and what will be. An
// item knows whether it is a table or a query (never told by its name), and both
// lists sort their items without regard to case, whatever the process locale.
#pragma once

#include <QListWidget>
#include <QListWidgetItem>
#include <QString>

#include <functional>

enum class entry_kind { table = 0, query = 1 };

// One name in either list; its kind travels with it from list to list.
class entry_item : public QListWidgetItem {
public:
  static constexpr int kind_role = Qt::UserRole;

  entry_item(const QString& name, entry_kind kind);

  // Ignoring case first; names that differ only in case keep a fixed order.
  bool operator<(const QListWidgetItem& other) const override;
  QListWidgetItem* clone() const override;

  static entry_kind kind_of(const QListWidgetItem& item);
};

// A list box of entries: sorted, several items selectable at once.
class entry_list : public QListWidget {
  Q_OBJECT
public:
  explicit entry_list(QWidget* parent = nullptr);

  void add(const QString& name, entry_kind kind);
  // The first item of that kind whose name equals the text exactly; null when none.
  QListWidgetItem* find_exact(const QString& name, entry_kind kind) const;
  // Whether an item (of any kind, or of the one given) bears the name without
  // regard to case, not counting `except`.
  bool holds_name(const QString& name, const QListWidgetItem* except = nullptr) const;
  bool holds_name_of_kind(const QString& name, entry_kind kind) const;

protected:
  // An empty list with the keyboard focus shows a focus frame of its own: the
  // view's own focus mark sits on its current item, and it has none.
  void paintEvent(QPaintEvent* event) override;
};

// What a move tells its caller about each item it carried.
using item_moved = std::function<void(QListWidgetItem& item)>;

// Moves the selected items of `from` to `to`, top to bottom. Afterwards the item
// that followed the last one moved is selected in `from` (its last item when
// none follows); a `from` left empty hands the focus to `to`, whose first item
// alone is selected. Nothing selected moves nothing and changes no selection.
void move_selected(entry_list& from, entry_list& to, const item_moved& moved);

// Moves every item of `from` to `to`; the focus goes to `to`, whose first item
// becomes the current one without being selected.
void move_all(entry_list& from, entry_list& to, const item_moved& moved);
