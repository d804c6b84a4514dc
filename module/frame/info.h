// The module's info block.
#pragma once

#include "pictra/plugin.h"

// Writes all 14 words, whatever they held.
void FillPluginInfo(PluginInfo* info);
