// One page of the wizard: the hooks the shell calls while the user walks the
// pages, with the template's own answers as defaults. A page's controls carry
// their resource ids as object names ("c1016"), so shell and tests find them by id.
#pragma once

#include <QString>
#include <QWidget>

class QAbstractButton;
class QLabel;
class wizard_shell;

// The buttons a page shows while it is active (a mask).
enum wizard_buttons : unsigned {
  wizb_none = 0,    // Back and Next disabled: only Cancel acts
  wizb_back = 1,
  wizb_next = 2,
  wizb_finish = 4,  // Finish in Next's place
};

// Page flags.
enum wizard_page_flags : unsigned {
  psp_has_help = 0x20,      // the Help button is enabled on the page
  psp_hide_header = 0x800,  // an exterior page: the watermark instead of the header band
};

class wizard_page : public QWidget {
  Q_OBJECT
public:
  // What on_next and on_back answer besides the id of a page to jump to.
  static constexpr int go_adjacent = 0;  // the next (or previous) page in order
  static constexpr int stay = -1;

  wizard_page(int id, unsigned buttons, unsigned flags);
  ~wizard_page() override;

  int id() const noexcept { return id_; }
  unsigned buttons() const noexcept { return buttons_; }
  unsigned flags() const noexcept { return flags_; }
  bool exterior() const noexcept { return (flags_ & psp_hide_header) != 0; }
  bool has_help() const noexcept { return (flags_ & psp_has_help) != 0; }

  const QString& header_title() const noexcept { return header_title_; }
  const QString& header_subtitle() const noexcept { return header_subtitle_; }
  void set_header(const QString& title, const QString& subtitle);

  // Hooks, called on the GUI thread by the shell, each guarded: an exception is
  // reported and counts as the answer in brackets.
  // Above 0 shows the page; 0 or less skips it in the direction of travel
  // [the page is not entered].
  virtual int page_init() { return 1; }
  // False keeps the page [keeps it].
  virtual bool on_kill_active() { return true; }
  // False keeps the wizard open [keeps it].
  virtual bool on_finish() { return true; }
  virtual void on_help() {}
  // go_adjacent, stay or a page id [stay].
  virtual int on_next() { return go_adjacent; }
  virtual int on_back() { return go_adjacent; }
  // True lets the wizard close [keeps it open]: asks the exit question, No by default.
  virtual bool on_cancel();
  // A tick of the shell's progress timer while this page is the current one.
  virtual void on_timer() {}

protected:
  // The control with that id on this page, or null.
  QWidget* control(int control_id) const;
  template <class T> T* control_as(int control_id) const { return qobject_cast<T*>(control(control_id)); }
  // Names a control with its id.
  static void set_control_id(QWidget& widget, int control_id);

  // Toggles a check box; a missing box is an internal error.
  void invert_chbox(int control_id);
  // Enables the control; an enabled one also gets the focus.
  void enable_ctrl(int control_id, bool enable);
  void show_ctrl(int control_id, bool show);

  // The shell's button mask for this page; called inside page_init it wins
  // over the page's own mask.
  void set_wizard_buttons(unsigned buttons);

  // The large title of an exterior page (welcome, finish).
  static void set_exterior_title_font(QLabel& title);

private:
  int id_;
  unsigned buttons_;
  unsigned flags_;
  QString header_title_;
  QString header_subtitle_;
};
