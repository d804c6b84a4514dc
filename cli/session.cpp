#include "session.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fmt/core.h>

#include "host/budgets.h"
#include "host/services.h"

namespace pictra::cli {
namespace {

// The budgets the environment sets; false with the reason for a value that
// is not a whole number from 1 to 2^32 - 1.
bool takeBudgetSettings(std::string& error) {
    host::Budgets budgets = host::budgets();
    const std::pair<const char*, uint32_t*> settings[] = {
        {"PICTRA_MAX_PICTURES", &budgets.picturesPerIcon},
        {"PICTRA_MAX_PICTURE_BYTES", &budgets.pictureBytesPerLoad},
        {"PICTRA_MAX_SAVE_BYTES", &budgets.bytesPerSave},
    };
    for (const auto& [name, field] : settings) {
        const char* text = std::getenv(name);
        if (!text) continue;
        uint64_t value = 0;
        const char* end = text + std::strlen(text);
        const auto [stop, failure] = std::from_chars(text, end, value);
        if (failure != std::errc{} || stop != end || value == 0 || value > UINT32_MAX) {
            error = fmt::format("{} must be a whole number from 1 to {}", name, UINT32_MAX);
            return false;
        }
        *field = static_cast<uint32_t>(value);
    }
    host::setBudgets(budgets);
    return true;
}

}  // namespace

std::unique_ptr<Session> Session::open(const std::string& explicitPath, std::string& error) {
    if (!takeBudgetSettings(error)) return nullptr;
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
