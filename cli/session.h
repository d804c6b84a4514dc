// The loaded pictra.vxm, initialised with the host services, and the savers
// it offers. Icons loaded through a session must be released before it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "pictra/plugin.h"

namespace pictra::cli {

class Session {
public:
    // Finds the module (`explicitPath`, else PICTRA_MODULE, else next to the
    // executable), opens and initialises it, and takes the load and save
    // budgets (host/budgets.h) that PICTRA_MAX_PICTURES,
    // PICTRA_MAX_PICTURE_BYTES and PICTRA_MAX_SAVE_BYTES set. Null with
    // `error` on failure.
    static std::unique_ptr<Session> open(const std::string& explicitPath, std::string& error);
    // A session on the same module file as `first` with a module instance of
    // its own (for another worker thread). Null with `error` on failure.
    static std::unique_ptr<Session> openAnother(const Session& first, std::string& error);

    const std::vector<host::Saver>& savers() const { return savers_; }
    const host::EntryPoints& entry() const { return module_->entry(); }
    const std::string& modulePath() const { return path_; }

    struct Token {  // only open() can make one
    private:
        Token() = default;
        friend class Session;
    };
    explicit Session(Token) {}

private:
    // Checks and initialises the opened module; null with `error` on failure.
    static std::unique_ptr<Session> start(std::unique_ptr<host::Module> module, const std::string& path,
                                          std::string& error);

    HostServices services_{};  // the module keeps a pointer to it
    std::unique_ptr<host::Module> module_;
    std::vector<host::Saver> savers_;
    std::string path_;
};

}  // namespace pictra::cli
