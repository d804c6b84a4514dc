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
    // executable), opens and initialises it. Null with `error` on failure.
    static std::unique_ptr<Session> open(const std::string& explicitPath, std::string& error);

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

    HostServices services_{};  // the module keeps a pointer to it
    std::unique_ptr<host::Module> module_;
    std::vector<host::Saver> savers_;
    std::string path_;
};

}  // namespace pictra::cli
