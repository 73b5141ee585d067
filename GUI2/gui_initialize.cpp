// Nothing to check or initialise beyond the QApplication the program builds first.
#include "GUI2/gui_initialize.h"

bool gui_initialize()
{
  return true;
}
