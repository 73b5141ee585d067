// A page that only holds its place beside the page under test: its header and
// buttons, so the shell has somewhere to go on Back and Next.
#pragma once

#include "GUI2/wizard_page.h"

class neighbour_page : public wizard_page {
  Q_OBJECT
public:
  neighbour_page(int id, unsigned buttons, unsigned flags, const QString& title, const QString& subtitle);
};
