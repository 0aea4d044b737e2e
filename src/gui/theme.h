// The stylesheet and the dark-theme preference, applied to the default display.
#pragma once

// Interface thread, before the window is created.
void theme_load();
