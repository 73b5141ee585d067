// The start-up check of the GUI library. Qt brings its own widgets, so there is
// no system library version to check: it always succeeds.
#pragma once

bool gui_initialize();
