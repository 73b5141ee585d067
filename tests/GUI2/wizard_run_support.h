// What the run tests of the wizard share: the program's error handler and front
// end, a converter connected to the test server, and a shell that holds the
// progress and finish pages as a quick launch has them; plus an answerer that
// takes every report's box or dialog while a run goes on.
#pragma once

#include "GUI2/error_dialogs.h"
#include "GUI2/finish_page.h"
#include "GUI2/progress_page.h"
#include "GUI2/wizard_art.h"
#include "GUI2/wizard_front_end.h"
#include "GUI2/wizard_pages.h"
#include "GUI2/wizard_program.h"
#include "GUI2/wizard_shell.h"
#include "SQL/sql_test_support.h"
#include "common/err_handler.h"
#include "common/qvt_converter.h"
#include "common/run_stop.h"
#include "gui_test_support.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "support/workbook_check.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace wizard_run_test {

// A converter whose entry name a test may set as a run would.
struct test_converter : qorvant_converter {
  test_converter() : qorvant_converter(qvt_program::console) {}
  void name_entry(const std::wstring& name) { set_current_name(name); }
};

struct wizard_run {
  wizard_front_end front;
  error_handler handler{dao_error_map_size, dao_error_map};
  test_converter converter;
  wizard_shell shell{wizard_title(), wizard_icon(), wizard_watermark(), wizard_header_picture()};
  progress_page progress{converter};
  finish_page finish{converter, L"qvt"};

  wizard_run()
  {
    run_stop::reset();
    handler.load_err_map(mysql_error_map_size, mysql_error_map);
    handler.load_err_map(date_range_error_map_size, date_range_error_map);
    handler.set_front_end(front);
    converter.set_front_end(front);
    shell.add_page(progress);
    shell.add_page(finish);
  }
  ~wizard_run() { run_stop::reset(); }

  // Connects the converter to the test server for a run of the source into the destination.
  void set_run(const std::string& source, const std::string& destination, std::uint32_t format)
  {
    const test_server_info& server = test_server();
    converter.store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
    converter.connect_mysql_server();
    converter.source = wide(source);
    converter.destination = wide(destination);
    converter.format_version = format;
  }

  // Shows the wizard, which starts the run on the progress page.
  void start()
  {
    shell.resize(620, 440);
    shell.start();
    shell.show();
  }

  int current_id() const { return shell.current_page() != nullptr ? shell.current_page()->id() : 0; }
  bool at_finish() const { return current_id() == page_finish; }

  template <class T> T& control(QWidget& page, int id)
  {
    auto* found = page.findChild<T*>(QStringLiteral("c%1").arg(id));
    if (found == nullptr)
      throw std::runtime_error("no control " + std::to_string(id));
    return *found;
  }
};

// While it lives, answers every report: a message box with its default button,
// the Continue/Abort dialog with Continue; keeps their texts.
class report_answerer {
public:
  report_answerer()
  {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible() || qobject_cast<wizard_shell*>(modal) != nullptr)
        return;
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        texts.push_back(box->text());
        box->defaultButton()->click();
      } else if (auto* dialog = qobject_cast<dlg_error_continue*>(modal)) {
        texts.push_back(dialog->findChild<QLabel*>(QStringLiteral("c1320"))->text());
        dialog->reject();
      }
    });
    timer_.start();
  }

  std::vector<QString> texts;

private:
  QTimer timer_;
};

} // namespace wizard_run_test
