// Loading pictra.vxm with dlopen and calling its entry points.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pictra/plugin.h"

namespace pictra::host {

struct EntryPoints {
    InitPluginFn initPlugin = nullptr;
    ClosePluginFn closePlugin = nullptr;
    RegisterIconSaverFn registerIconSaver = nullptr;
    LoadIconFn loadIcon = nullptr;
    GetIconImagesFn getIconImages = nullptr;
    FreeIconFn freeIcon = nullptr;
    SaveIconFn saveIcon = nullptr;
};

struct Saver {
    std::string name;
    uint32_t formatId = 0;
};

// One loaded module. Closing calls ClosePlugin (when initialised) and dlclose.
class Module {
public:
    // Null on failure, with the reason in `error`. Each distinct path is a
    // separate instance with its own state; the same path twice is shared
    // by the dynamic loader.
    static std::unique_ptr<Module> open(const std::string& path, std::string& error);
    // Like open(), but always a new instance with state of its own, even when
    // the path is already loaded (the file is copied into memory and loaded
    // from there): for a worker thread that must not share the module's
    // initialisation with another.
    static std::unique_ptr<Module> openOwnInstance(const std::string& path, std::string& error);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const EntryPoints& entry() const { return entry_; }
    // InitPlugin with `services` (kept by the caller for the module's lifetime).
    int32_t initialise(HostServices* services);
    const PluginInfo& info() const { return info_; }
    // Enumerates RegisterIconSaver from 0 while `more` is 1 (bounded).
    std::vector<Saver> savers() const;

private:
    Module() = default;
    // Loads `target`, naming it `path` in errors.
    static std::unique_ptr<Module> load(const std::string& path, const std::string& target,
                                        std::string& error);
    void* handle_ = nullptr;
    // The in-memory copy of an own instance, open for as long as the module
    // is loaded: the dynamic loader knows a loaded file by its name, so a
    // closed copy's /proc/self/fd name reused by the next copy would hand
    // that copy the first instance.
    int ownCopy_ = -1;
    bool initialised_ = false;
    EntryPoints entry_;
    PluginInfo info_{};
};

// Frees a loaded icon through the module's FreeIcon.
struct IconDeleter {
    FreeIconFn freeIcon = nullptr;
    void operator()(IconRecord* icon) const {
        if (icon && freeIcon) freeIcon(icon);
    }
};
using IconPtr = std::unique_ptr<IconRecord, IconDeleter>;

// Where a tool at `executable` looks for pictra.vxm, in order: beside it
// (a build tree), then in ../lib/pictra (an installed tree: bin/pictra and
// lib/pictra/pictra.vxm under one prefix).
std::vector<std::string> modulePathsBeside(const std::string& executable);

// Where the tool finds the module: `explicitPath` if not empty, else the
// PICTRA_MODULE environment variable, else the first of the running
// executable's modulePathsBeside() that exists (the first one if none does).
std::string findModulePath(const std::string& explicitPath);

}  // namespace pictra::host
