#include "GUI2/neighbour_page.h"

#include <QLabel>
#include <QVBoxLayout>

neighbour_page::neighbour_page(int id, unsigned buttons, unsigned flags, const QString& title,
                               const QString& subtitle)
    : wizard_page(id, buttons, flags)
{
  set_header(title, subtitle);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("A neighbour of the page under test."), this));
  layout->addStretch(1);
}
