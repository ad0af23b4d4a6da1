#pragma once

// Installs the plug-in's translation catalogue for the system locale on the application's
// thread; a missing catalogue leaves the English texts.
void loadTranslations();
