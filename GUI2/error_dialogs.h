// The two dialogs through which a reported error reaches the user: Continue or
// Abort with a "do not show again" box, and the internal-error dialog that can
// copy or mail its text. Their results are the button ids the error handler reads.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;

// The caption of every error window: "<title> Error" once the wizard has been
// shown, "Error" before (an empty title).
QString error_caption(const QString& shell_title);

class dlg_error_continue : public QDialog {
  Q_OBJECT
public:
  enum result_code { abort_id = 1, continue_id = 2 };

  dlg_error_continue(const QString& text, const QString& shell_title, QWidget* owner = nullptr);

  // The state of the "do not show again" box; read after the dialog closed.
  bool do_not_show() const;

  // Enter, Escape and the close box all continue.
  void reject() override;

private:
  QCheckBox* do_not_show_box_;
};

class dlg_error_ex : public QDialog {
  Q_OBJECT
public:
  enum result_code { ok_id = 1, copy_id = 1108, send_bug_id = 1112 };

  dlg_error_ex(const QString& text, const QString& shell_title, QWidget* owner = nullptr);

  // Neither Escape nor the close box dismisses an internal error.
  void reject() override {}

private:
  void copy_to_clipboard();
  void send_bug();

  QString text_;
  QString shell_title_;
};
