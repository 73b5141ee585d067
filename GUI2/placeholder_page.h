// A page that holds only its place in the wizard (its header and buttons) until
// the real page is built; it says so on its face.
#pragma once

#include "GUI2/wizard_page.h"

class placeholder_page : public wizard_page {
  Q_OBJECT
public:
  placeholder_page(int id, unsigned buttons, unsigned flags, const QString& title, const QString& subtitle);
};
