// The wizard's connection page: access mode, user, password, host and port. The
// controls hold what the user typed; only Next and Back store it into the
// converter, and only Next connects. Connection errors keep the user here.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLineEdit;
class QRadioButton;
class mysql_converter_impl;

class connection_page : public QWidget {
  Q_OBJECT
public:
  static constexpr int help_page = 1010;
  static constexpr int help_connection = 1015;
  static const char* header_title() { return "Step 1 of 5"; }
  static const char* header_subtitle() { return "Connect to MySQL server"; }

  // The error box and the help opener; tests and the wizard put in their own.
  using error_shower = std::function<void(const QString& text)>;
  using help_opener = std::function<void(int topic)>;
  // What Next calls after storing; the converter's connect by default.
  using connector = std::function<void()>;

  explicit connection_page(mysql_converter_impl& converter, QWidget* parent = nullptr);

  // The wizard's hooks: page_init shows the page (1); on_next and on_back
  // return 0 to move on and -1 to stay.
  int page_init();
  int on_next();
  int on_back();
  void on_help();

  void store_settings();

  void set_error_shower(error_shower shower) { show_error_ = std::move(shower); }
  void set_help_opener(help_opener opener) { open_help_ = std::move(opener); }
  void set_connector(connector connect) { connect_ = std::move(connect); }

signals:
  // A new connection is up: what was read from an earlier one is stale.
  void connected();

private:
  void set_remote(bool remote);

  mysql_converter_impl& converter_;
  QRadioButton* local_;
  QRadioButton* remote_;
  QLineEdit* user_;
  QLineEdit* password_;
  QLineEdit* host_;
  QLineEdit* port_;
  error_shower show_error_;
  help_opener open_help_;
  connector connect_;
};
