// The wizard program.
#include "GUI2/wizard_main.h"

int main(int argc, char** argv)
{
  return wizard_main(argc, argv);
}
