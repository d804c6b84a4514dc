#include "session.h"

#include <filesystem>

#include "host/services.h"

namespace pictra::cli {

std::unique_ptr<Session> Session::open(const std::string& explicitPath, std::string& error) {
    const std::string path = host::findModulePath(explicitPath);
    std::error_code ignored;
    if (path.empty() || !std::filesystem::exists(path, ignored)) {
        error = "cannot find the module " + path + " (use --module PATH or set PICTRA_MODULE)";
        return nullptr;
    }
    return start(host::Module::open(path, error), path, error);
}

std::unique_ptr<Session> Session::openAnother(const Session& first, std::string& error) {
    return start(host::Module::openOwnInstance(first.path_, error), first.path_, error);
}

std::unique_ptr<Session> Session::start(std::unique_ptr<host::Module> module, const std::string& path,
                                        std::string& error) {
    if (!module) return nullptr;
    auto session = std::make_unique<Session>(Token{});
    session->path_ = path;
    session->module_ = std::move(module);
    const host::EntryPoints& entry = session->module_->entry();
    if (!entry.loadIcon || !entry.saveIcon || !entry.getIconImages || !entry.freeIcon ||
        !entry.registerIconSaver) {
        error = "cannot load module " + session->path_ + ": entry points missing";
        return nullptr;
    }
    session->services_ = host::makeHostServices();
    if (session->module_->initialise(&session->services_) == 0) {
        error = "module " + session->path_ + " refused to start";
        return nullptr;
    }
    session->savers_ = session->module_->savers();
    return session;
}

}  // namespace pictra::cli
