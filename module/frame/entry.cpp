// Start and stop of the module.
#include "frame/crc.h"
#include "frame/formats.h"
#include "frame/host.h"
#include "frame/info.h"

int32_t InitPlugin(PluginInfo* info, HostServices* host) {
    FillPluginInfo(info);
    // A host may call once without services only to read the info block.
    if (!host) return 1;
    Host = host;
    BuildCrcTable();
    ComputeFormatIds();
    for (int32_t i = 0; IconFormats[i].name; ++i)
        RegisterFormat(info, IconFormats[i].description, IconFormats[i].extension, FormatIds[i]);
    return 1;
}

void ClosePlugin() {}
