/* A module with all seven entry points that never ends its saver list and
 * counts the calls the host makes, for the loader tests. */
#include "pictra/plugin.h"

int fakeClosePluginCalls = 0;
int fakeSaverQueries = 0;
const HostServices* fakeServices = 0;

int32_t InitPlugin(PluginInfo* info, HostServices* host) {
    fakeServices = host;
    info->version = 7;
    info->name = "fake";
    return 1;
}

void ClosePlugin(void) { ++fakeClosePluginCalls; }

void RegisterIconSaver(SaverQuery* query) {
    ++fakeSaverQueries;
    query->formatId = query->formatId + 1;
    query->name = "FAKE";
    query->more = 1;
}

IconRecord* LoadIcon(const char* name, const TagItem* tags) {
    (void)name;
    (void)tags;
    return 0;
}

IconImage* GetIconImages(IconRecord* icon) { return icon ? icon->images : 0; }

void FreeIcon(IconRecord* icon) { (void)icon; }

int32_t SaveIcon(const char* name, IconImage* images, const TagItem* tags) {
    (void)name;
    (void)images;
    (void)tags;
    return 0;
}
