/* A module that exports only some of the seven entry points. */
#include <stdint.h>

struct PluginInfo;
struct HostServices;

int32_t InitPlugin(struct PluginInfo* info, struct HostServices* host) {
    (void)info;
    (void)host;
    return 1;
}

void ClosePlugin(void) {}
