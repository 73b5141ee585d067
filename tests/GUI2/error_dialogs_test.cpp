// The error dialogs and the wizard's error reports: which key or button gives
// which result, the "do not show again" box, the exact text Copy and Send bug
// hand to the desktop, the list's cap, and a report made off the GUI thread.
#include "GUI2/error_dialogs.h"
#include "GUI2/gui_error_front.h"
#include "GUI2/qt_desktop.h"
#include "GUI2/wizard_shell.h"
#include "gui_test_support.h"

#include <gtest/gtest.h>

#include "platform/desktop.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>

#include <atomic>
#include <thread>

namespace {

// Keeps what the dialogs hand to the desktop.
class recording_desktop : public plat::desktop_services {
public:
  recording_desktop() { plat::set_desktop_services(this); }
  ~recording_desktop() override { plat::set_desktop_services(nullptr); }
  recording_desktop(const recording_desktop&) = delete;
  recording_desktop& operator=(const recording_desktop&) = delete;

  plat::desktop_outcome copy_text(const std::wstring& text) override
  {
    copied.push_back(text);
    return {true, {}, 0};
  }
  plat::desktop_outcome send_mail(const plat::mail_message& message) override
  {
    mails.push_back(message);
    return {true, {}, 0};
  }

  std::vector<std::wstring> copied;
  std::vector<plat::mail_message> mails;
};

QPushButton& button(QWidget& dialog, int id)
{
  auto* found = dialog.findChild<QPushButton*>(QStringLiteral("c%1").arg(id));
  EXPECT_NE(found, nullptr) << id;
  return *found;
}

const QString internal_text = QStringLiteral("Internal error: \ncode=74726B\\3132 ÄÖ €");

} // namespace

TEST(ErrorDialogs, ContinueAbortAnswersByKeyButtonAndCloseBox)
{
  struct step {
    const char* how;
    std::function<void(dlg_error_continue&)> act;
    int result;
  };
  const std::vector<step> steps = {
      {"Enter", [](dlg_error_continue& d) { QTest::keyClick(&d, Qt::Key_Return); }, 2},
      {"Escape", [](dlg_error_continue& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 2},
      {"close box", [](dlg_error_continue& d) { d.close(); }, 2},
      {"Continue", [](dlg_error_continue& d) { button(d, 2).click(); }, 2},
      {"Abort", [](dlg_error_continue& d) { button(d, 1).click(); }, 1},
  };
  for (const step& s : steps) {
    dlg_error_continue dialog(QStringLiteral("orders: Access denied."), QString());
    dialog.show();
    s.act(dialog);
    EXPECT_FALSE(dialog.isVisible()) << s.how;
    EXPECT_EQ(dialog.result(), s.result) << s.how;
    EXPECT_FALSE(dialog.do_not_show()) << s.how;
  }
}

TEST(ErrorDialogs, ContinueDialogCaptionTextAndDoNotShowBox)
{
  dlg_error_continue before(QStringLiteral("t1, record #5: Duplicate field values"), QString());
  EXPECT_EQ(before.windowTitle(), QStringLiteral("Error"));

  dlg_error_continue dialog(QStringLiteral("t1, record #5: Duplicate field values"), QStringLiteral("Tabloom 5.5"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tabloom 5.5 Error"));
  dialog.show();
  auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("c1222"));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), QStringLiteral("&Do not show this dialog box again"));
  box->click();
  save_screen(dialog, QStringLiteral("dlg_error_continue"));
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), 2);
  EXPECT_TRUE(dialog.do_not_show());
}

TEST(ErrorDialogs, InternalErrorIgnoresEscapeAndCloseBoxEnterSendsBug)
{
  recording_desktop desktop;
  dlg_error_ex dialog(internal_text, QStringLiteral("Tabloom 5.5"));
  dialog.show();
  save_screen(dialog, QStringLiteral("dlg_error_ex"));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  dialog.close();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(desktop.mails.empty());

  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 1112);
  ASSERT_EQ(desktop.mails.size(), 1U);
  EXPECT_EQ(desktop.mails[0].subject, "Bug report on Tabloom 5.5");
  EXPECT_EQ(desktop.mails[0].body, internal_text.toStdString());
  EXPECT_TRUE(desktop.copied.empty());
}

TEST(ErrorDialogs, InternalErrorCopyAndOkResults)
{
  recording_desktop desktop;
  {
    dlg_error_ex dialog(internal_text, QString());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Error"));
    dialog.show();
    button(dialog, 1108).click();
    EXPECT_EQ(dialog.result(), 1108);
    ASSERT_EQ(desktop.copied.size(), 1U);
    EXPECT_EQ(desktop.copied[0], internal_text.toStdWString());
  }
  {
    dlg_error_ex dialog(internal_text, QString());
    dialog.show();
    button(dialog, 1).click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(desktop.copied.size(), 1U);
    EXPECT_TRUE(desktop.mails.empty());
  }
  // Without a window title the report's subject ends after "on ".
  dlg_error_ex untitled(internal_text, QString());
  untitled.show();
  button(untitled, 1112).click();
  ASSERT_EQ(desktop.mails.size(), 1U);
  EXPECT_EQ(desktop.mails[0].subject, "Bug report on ");
}

TEST(ErrorDialogs, QtDesktopPutsTheTextOnTheClipboardAndMailsALinkToTheReport)
{
  std::vector<QUrl> opened;
  qt_desktop_services desktop([&opened](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  plat::desktop_outcome copied = desktop.copy_text(internal_text.toStdWString());
  EXPECT_TRUE(copied.delivered);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), internal_text);

  const QUrl link = qt_desktop_services::mail_link(
      {"Norvale support <support@norvale.example>", "Bug report on Tabloom 5.5", "a & b = c?", ""},
      "/tmp/r.txt");
  EXPECT_EQ(link.scheme(), QStringLiteral("mailto"));
  EXPECT_EQ(link.path(), QStringLiteral("support@norvale.example"));
  const QUrlQuery query(link);
  EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), QStringLiteral("Bug report on Tabloom 5.5"));
  EXPECT_EQ(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
            QStringLiteral("a & b = c?\n\nThe full report is in /tmp/r.txt"));
}

// The wizard as the reports find it: shown once, so its title is in the captions.
struct shown_wizard {
  shown_wizard() { shell.initialize_if(); }
  wizard_shell shell{QStringLiteral("Tabloom 5.5"), QIcon(), QPixmap(), QPixmap()};
};

// The opener's exit status is its answer: xdg-open's 3 (nothing on the desktop
// opens it) or no xdg-open at all is a failure with a reason for a box.
TEST(QtDesktop, TheOpenersExitStatusSaysWhetherTheUrlWasOpened)
{
  const struct {
    int opener_status;  // -1: none on PATH
    bool opened;
    const char* failure;
  } cases[] = {
      {0, true, ""},
      {3, false, "xdg-open ended with exit status 3: no program on this desktop opens it."},
      {4, false, "xdg-open ended with exit status 4: the program that opens it failed."},
      {-1, false, "No program to open it was found: xdg-open is not installed."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opener_status);
    const scoped_desktop_opener opener(c.opener_status);
    const desktop_open_result result = open_on_desktop(QUrl(QStringLiteral("https://www.norvale.example/")));
    EXPECT_EQ(result.opened, c.opened);
    EXPECT_EQ(result.failure, QString::fromUtf8(c.failure));
  }
}

TEST(ErrorReports, ListKeepsTheFirstTwentyTextsOnceTheWizardIsShown)
{
  gui_error_front::report(0, "before the wizard", true);
  shown_wizard wizard;
  for (int i = 1; i <= 25; ++i)
    EXPECT_EQ(gui_error_front::report(0, "error " + std::to_string(i), true), report_answer::go_on);
  const std::vector<std::string>& kept = wizard.shell.errors;
  ASSERT_EQ(kept.size(), 20U);
  EXPECT_EQ(kept.front(), "error 1");
  EXPECT_EQ(kept.back(), "error 20");
}

TEST(ErrorReports, DialogAnswersBecomeReportAnswers)
{
  shown_wizard wizard;
  when_modal_shows([](QWidget& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Tabloom 5.5 Error"));
    button(d, 1).click();
  });
  EXPECT_EQ(gui_error_front::report(0, "first", false), report_answer::abort_run);

  when_modal_shows([](QWidget& d) {
    d.findChild<QCheckBox*>(QStringLiteral("c1222"))->click();
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  EXPECT_EQ(gui_error_front::report(0, "second", false), report_answer::go_on_quietly);

  when_modal_shows([](QWidget& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Tabloom 5.5 Error"));
    save_screen(d, QStringLiteral("error_box"));
    QTest::keyClick(&d, Qt::Key_Return);
  });
  EXPECT_EQ(gui_error_front::report(1, "third", false), report_answer::go_on);

  // An internal error ends the program whatever is chosen; it is not listed.
  when_modal_shows([](QWidget& d) { button(d, 1).click(); });
  EXPECT_EQ(gui_error_front::report(2, "Internal error: \ncode=1", false), report_answer::end_program);
  EXPECT_EQ(wizard.shell.errors, (std::vector<std::string>{"first", "second", "third"}));
}

TEST(ErrorReports, AReportFromAnotherThreadShowsItsDialogOnTheGuiThread)
{
  shown_wizard wizard;
  std::atomic<bool> done = false;
  report_answer answer = report_answer::go_on;
  bool dialog_on_gui_thread = false;
  when_modal_shows([&](QWidget& d) {
    dialog_on_gui_thread = d.thread() == QApplication::instance()->thread();
    button(d, 1).click();
  });
  std::thread worker([&] {
    answer = gui_error_front::report(0, "from the worker", false);
    done = true;
  });
  while (!done)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  worker.join();
  EXPECT_TRUE(dialog_on_gui_thread);
  EXPECT_EQ(answer, report_answer::abort_run);
  EXPECT_EQ(wizard.shell.errors, std::vector<std::string>{"from the worker"});
}
