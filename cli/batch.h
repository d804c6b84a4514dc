// Working through many files at once: the one runner behind every
// subcommand that takes files (info, extract, convert and the others).
//
// A subcommand binds its inputs and the shared options (addBatchOptions),
// then in its run():
//
//     Batch batch(options_);                    // walks the inputs, in order
//     batch.setOutputs(nameOf, "its output would overwrite that of ");  // if it writes files
//     return batch.run(session, [&](const Session& own, const BatchItem& item) {
//         ...read item.path through `own`, write item.output...
//         return BatchOutput{text, notes};      // stdout and stderr, in input order
//     });
//
// The work runs on worker threads (-j), each with a module instance of its
// own (`own`); it may share nothing else but what is safe across threads
// (the host services are). It fails an input by throwing FileError: one line
// on stderr naming the file, and the batch goes on. A NotAnIconError for a
// file found in a folder walk skips that file instead (a folder of icons
// holds other files too). Output and error lines come in input order, so
// they are the same whatever -j is. At the end comes the summary line
// "pictra: N done, N failed, N skipped" (when more than one input or a
// folder was given, and not with --quiet) and the exit status: 0 when all
// were done or skipped, 1 when any failed. In the same cases, when stderr
// is a terminal, a progress line (files done of all, rate, time left) is
// kept up to date there and erased at the end.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "session.h"

namespace CLI {
class App;
}

namespace pictra::cli {

struct BatchOptions {
    std::vector<std::string> inputs;  // files and folders, in the order given
    bool recursive = false;           // -r: descend into folders
    unsigned jobs = 0;                // -j: workers; 0 is one per core
    bool quiet = false;               // -q: no progress bar, no summary
};

// Adds -r/--recursive, -j/--jobs and -q/--quiet to `command`, bound to
// `options`. The inputs are the command's own positional option.
void addBatchOptions(CLI::App& command, BatchOptions& options);

struct BatchItem {
    std::string path;    // the file to read
    std::string folder;  // a walked file's folder below its input folder ("" at the top); "" for a named file
    std::string output;  // what setOutputs gave it, else empty
    std::size_t index = 0;  // its place among all the inputs once walked, from 0
};

// What one input's work gives back, printed in input order: text for stdout
// and notes for stderr (lines that are no failure, such as what was changed
// to fit the output's format).
struct BatchOutput {
    std::string out;
    std::string notes;
};

using BatchWork = std::function<BatchOutput(const Session& session, const BatchItem& item)>;

class Batch {
public:
    // Walks the inputs: named files as they are; folders (with `recursive`)
    // depth first in name order, taking regular files. A folder without
    // `recursive` or one that cannot be read is a failure of its own.
    explicit Batch(const BatchOptions& options);

    // Gives each input the output `outputOf` returns. An input whose output
    // an earlier input already has fails with "`clash`EARLIER" rather than
    // overwrite it.
    void setOutputs(const std::function<std::string(const BatchItem&)>& outputOf, const std::string& clash);

    // Runs `work` on every input (worker 0 uses `session`, the others open
    // their own) and prints as described above, `separator` between two
    // texts. Returns the exit status.
    int run(const Session& session, const BatchWork& work, const std::string& separator = "");

private:
    enum class Outcome { pending, done, failed, skipped };
    struct Entry {
        BatchItem item;
        bool walked = false;  // found in a folder, not named
        Outcome outcome = Outcome::pending;
        std::string text;  // stdout when done, the error line when failed
        std::string notes;  // stderr when done
    };
    class Run;

    void walk(const std::string& folder, const std::string& below);
    void fail(BatchItem item, const std::string& what);

    BatchOptions options_;
    bool summarise_ = false;
    std::vector<Entry> entries_;
};

// Where `item` goes under `folder`: its walked folder mirrored, then
// `pattern` with {stem} (its name without the last extension), {ext}
// (`extension`) and {format} (`format`) put in.
std::string outputPath(const std::string& folder, const std::string& pattern, const BatchItem& item,
                       const std::string& extension, const std::string& format);

// Throws CLI::ValidationError for a name pattern that is empty or holds a
// brace other than the three names outputPath() knows.
void checkNamePattern(const std::string& pattern);

// The processors this process may run on.
unsigned coreCount();

}  // namespace pictra::cli
