// Placeholder pages: one label, the header texts, the buttons of the real page.
#include "GUI2/placeholder_page.h"

#include <QLabel>
#include <QVBoxLayout>

placeholder_page::placeholder_page(int id, unsigned buttons, unsigned flags, const QString& title,
                                   const QString& subtitle)
    : wizard_page(id, buttons, flags)
{
  set_header(title, subtitle);
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(tr("This page is not available in this version of the wizard."), this);
  note->setWordWrap(true);
  layout->addWidget(note);
  layout->addStretch(1);
}
