#include "session.h"

#include <filesystem>

#include "host/services.h"

namespace pictra::cli {

std::unique_ptr<Session> Session::open(const std::string& explicitPath, std::string& error) {
    auto session = std::make_unique<Session>(Token{});
    session->path_ = host::findModulePath(explicitPath);
    std::error_code ignored;
    if (session->path_.empty() || !std::filesystem::exists(session->path_, ignored)) {
        error = "cannot find the module " + session->path_ + " (use --module PATH or set PICTRA_MODULE)";
        return nullptr;
    }
    session->module_ = host::Module::open(session->path_, error);
    if (!session->module_) return nullptr;
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
