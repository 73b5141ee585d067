// The page template's own behaviour: the exit question, the id-named controls
// and the helpers the pages share.
#include "GUI2/wizard_page.h"

#include "GUI2/wizard_shell.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"

#include <QAbstractButton>
#include <QFont>
#include <QLabel>

wizard_page::wizard_page(int id, unsigned buttons, unsigned flags)
    : id_(id), buttons_(buttons), flags_(flags)
{
  setObjectName(QStringLiteral("page%1").arg(id));
}

wizard_page::~wizard_page()
{
  tk_log_message(2, "wizard_page::dtor");
}

void wizard_page::set_header(const QString& title, const QString& subtitle)
{
  header_title_ = title;
  header_subtitle_ = subtitle;
}

bool wizard_page::on_cancel()
{
  return wizard_shell::question(L"Are you sure you want to exit the wizard?", mb_defbutton2);
}

QWidget* wizard_page::control(int control_id) const
{
  return findChild<QWidget*>(QStringLiteral("c%1").arg(control_id));
}

void wizard_page::set_control_id(QWidget& widget, int control_id)
{
  widget.setObjectName(QStringLiteral("c%1").arg(control_id));
}

void wizard_page::invert_chbox(int control_id)
{
  auto* box = control_as<QAbstractButton>(control_id);
  if (box == nullptr || !box->isCheckable())
    throw tk_mail_assertion("g_wiz_pg", 127);
  box->setChecked(!box->isChecked());
}

void wizard_page::enable_ctrl(int control_id, bool enable)
{
  if (QWidget* widget = control(control_id)) {
    widget->setEnabled(enable);
    if (enable)
      widget->setFocus();
  }
}

void wizard_page::show_ctrl(int control_id, bool show)
{
  if (QWidget* widget = control(control_id))
    widget->setVisible(show);
}

void wizard_page::set_wizard_buttons(unsigned buttons)
{
  wizard_shell::instance().set_wizard_buttons(buttons);
}

void wizard_page::set_exterior_title_font(QLabel& title)
{
  QFont font = title.font();
  font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
  font.setPointSize(13);
  font.setWeight(QFont::Normal);
  title.setFont(font);
}
