// Loading a module with dlopen and driving its entry points.
#include "host/module_loader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host/posix_file.h"

namespace pictra::host {
namespace {

// A module announces its savers one at a time; a module that never says
// "no more" is cut off here.
constexpr int kMaxSaverSteps = 64;

template <typename Fn>
bool lookUp(void* handle, const char* symbol, Fn& slot, std::string& error) {
    dlerror();
    void* address = dlsym(handle, symbol);
    if (!address) {
        error = std::string("module lacks the entry point ") + symbol;
        return false;
    }
    slot = reinterpret_cast<Fn>(address);
    return true;
}

// Copies the file at `path` into the open file `copy`; false with errno set
// on failure.
bool copyFile(const std::string& path, int copy) {
    const FileDescriptor source(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0) return false;
    std::array<uint8_t, 1 << 16> block{};
    for (;;) {
        const ssize_t got = readFully(source.get(), block);
        if (got < 0 || !writeFully(copy, std::span(block).first(static_cast<std::size_t>(got))))
            return false;
        if (static_cast<std::size_t>(got) < block.size()) return true;
    }
}

}  // namespace

std::unique_ptr<Module> Module::open(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "no module path given";
        return nullptr;
    }
    // A name without a slash would send dlopen searching the library path;
    // a module is always named by its path.
    return load(path, path.find('/') == std::string::npos ? "./" + path : path, error);
}

std::unique_ptr<Module> Module::openOwnInstance(const std::string& path, std::string& error) {
    // The dynamic loader shares a file it has loaded already; a copy in
    // memory is a file of its own.
    FileDescriptor copy(::memfd_create("pictra.vxm", MFD_CLOEXEC));
    if (copy.get() < 0 || !copyFile(path, copy.get())) {
        error = "cannot load module " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<Module> module = load(path, "/proc/self/fd/" + std::to_string(copy.get()), error);
    if (module) module->ownCopy_ = copy.release();
    return module;
}

std::unique_ptr<Module> Module::load(const std::string& path, const std::string& target,
                                     std::string& error) {
    std::unique_ptr<Module> module(new Module());
    module->handle_ = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module->handle_) {
        // dlerror starts with the path it was given; it is said once.
        const char* raw = dlerror();
        std::string reason = raw ? raw : "unknown error";
        if (reason.starts_with(target + ": ")) reason.erase(0, target.size() + 2);
        error = "cannot load module " + path + ": " + reason;
        return nullptr;
    }
    EntryPoints& e = module->entry_;
    if (!lookUp(module->handle_, "InitPlugin", e.initPlugin, error) ||
        !lookUp(module->handle_, "ClosePlugin", e.closePlugin, error) ||
        !lookUp(module->handle_, "RegisterIconSaver", e.registerIconSaver, error) ||
        !lookUp(module->handle_, "LoadIcon", e.loadIcon, error) ||
        !lookUp(module->handle_, "GetIconImages", e.getIconImages, error) ||
        !lookUp(module->handle_, "FreeIcon", e.freeIcon, error) ||
        !lookUp(module->handle_, "SaveIcon", e.saveIcon, error)) {
        error += " (" + path + ")";
        return nullptr;
    }
    return module;
}

Module::~Module() {
    if (initialised_ && entry_.closePlugin) entry_.closePlugin();
    if (handle_) dlclose(handle_);
    if (ownCopy_ >= 0) ::close(ownCopy_);
}

int32_t Module::initialise(HostServices* services) {
    if (!entry_.initPlugin) return 0;
    const int32_t result = entry_.initPlugin(&info_, services);
    if (result != 0 && services) initialised_ = true;
    return result;
}

std::vector<Saver> Module::savers() const {
    std::vector<Saver> result;
    if (!entry_.registerIconSaver) return result;
    SaverQuery query{};
    query.formatId = 0;
    for (int step = 0; step < kMaxSaverSteps; ++step) {
        query.more = 0;
        query.name = nullptr;
        entry_.registerIconSaver(&query);
        if (!query.name) break;
        result.push_back({query.name, query.formatId});
        if (query.more != 1) break;
    }
    return result;
}

std::vector<std::string> modulePathsBeside(const std::string& executable) {
    const std::filesystem::path folder = std::filesystem::path(executable).parent_path();
    return {(folder / "pictra.vxm").string(),
            (folder.parent_path() / "lib" / "pictra" / "pictra.vxm").string()};
}

std::string findModulePath(const std::string& explicitPath) {
    if (!explicitPath.empty()) return explicitPath;
    if (const char* fromEnvironment = std::getenv("PICTRA_MODULE");
        fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    std::string executable(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", executable.data(), executable.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= executable.size()) return "pictra.vxm";
    executable.resize(static_cast<std::size_t>(length));
    const std::vector<std::string> candidates = modulePathsBeside(executable);
    std::error_code ignored;
    for (const std::string& candidate : candidates)
        if (std::filesystem::exists(candidate, ignored)) return candidate;
    return candidates.front();
}

}  // namespace pictra::host
