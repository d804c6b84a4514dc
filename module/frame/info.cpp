#include "frame/info.h"

// Version-listing tools search module files for this text; nothing refers
// to it, so it must be kept explicitly.
__attribute__((used)) static const char VersionText[] = "$VER: pictra.vxm 1.0 (22.01.22) [Linux]";

namespace {
constexpr uint32_t CapabilityLoad = 0x00100000u;
constexpr uint32_t CapabilitySave = 0x00200000u;
// The host API this module is written against.
constexpr uint32_t HostApiVersion = 9;
constexpr uint32_t HostApiRevision = 0;
}  // namespace

void FillPluginInfo(PluginInfo* info) {
    info->capabilities = CapabilityLoad | CapabilitySave;
    info->version = 1;
    info->revision = 0;
    info->hostVersion = HostApiVersion;
    info->hostRevision = HostApiRevision;
    info->name = "Pictra";
    info->moduleName = "pictra";
    info->author = "The Pictra developers";
    info->description = "The Cross-Platform Icon Loader and Saver";
    info->rights = "Copyright (c) 2022 The Pictra developers";
    info->webAddress = "https://pictra.invalid/";
    info->date = "22.01.22";
    info->reserved12 = 0;
    info->reserved13 = 0;
}
