// The wizard's connection page: access mode, user, password, host and port. The
// controls hold what the user typed; only Next and Back store it into the
// converter, and only Next connects. Connection errors keep the user here.
#pragma once

#include "GUI2/wizard_page.h"

#include <QString>

#include <functional>

class QLineEdit;
class QRadioButton;
class mysql_converter_impl;

class connection_page : public wizard_page {
  Q_OBJECT
public:
  static constexpr int help_page = 1010;
  static constexpr int help_connection = 1015;

  // The error box and the help opener: the shell's unless replaced (tests).
  using error_shower = std::function<void(const QString& text)>;
  using help_opener = std::function<void(int topic)>;
  // What Next calls after storing; the converter's connect by default.
  using connector = std::function<void()>;

  explicit connection_page(mysql_converter_impl& converter);

  // page_init shows the page; on_next connects and moves on only when that
  // worked; on_back stores and moves on.
  int page_init() override;
  int on_next() override;
  int on_back() override;
  void on_help() override;

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
