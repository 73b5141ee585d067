// The dialog in which a query is added or edited: a name to store it under and
// its SELECT text. OK takes the text without its leading blanks; Test Query asks
// the tester about the text as typed and never stores anything.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class QLineEdit;
class QPlainTextEdit;

class query_dialog : public QDialog {
  Q_OBJECT
public:
  static constexpr int dialog_id = 128;
  static constexpr int help_topic = 1025;
  // A name longer than a list box shows is not accepted.
  static constexpr int max_name_length = 259;

  // Whether the server can read the query; must not throw.
  using query_tester = std::function<bool(const std::wstring& sql)>;

  query_dialog(const QString& name, const QString& sql, query_tester tester, QWidget* owner = nullptr);

  QString name() const { return name_; }
  QString sql() const { return sql_; }

  // True when the query is refused: not empty and not starting with SELECT
  // (ignoring case) once the blanks (TAB, LF, CR, SPACE) in front are skipped.
  // `stored` becomes the text from its first non-blank character on (the text
  // itself when it has none).
  static bool check_query(const QString& typed, QString& stored);

  void on_ok();
  void on_test_query();

private:
  QLineEdit* name_edit_;
  QPlainTextEdit* sql_edit_;
  query_tester tester_;
  QString name_;
  QString sql_;
};
