#include "batch.h"

#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include <CLI/CLI.hpp>
#include <fmt/core.h>

#include "command.h"
#include "errors.h"
#include "host/images.h"
#include "text.h"

namespace pictra::cli {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void addBatchOptions(CLI::App& command, BatchOptions& options) {
    command.add_flag("-r,--recursive", options.recursive, "Descend into folders given as inputs");
    command.add_option("-j,--jobs", options.jobs, "Workers, each with the module loaded (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    command.add_flag("-q,--quiet", options.quiet, "No progress bar and no summary line");
}

unsigned coreCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

Batch::Batch(const BatchOptions& options) : options_(options) {
    summarise_ = options.inputs.size() > 1 && !options.quiet;
    for (const std::string& input : options.inputs) {
        std::error_code error;
        if (!fs::is_directory(input, error)) {
            entries_.push_back({BatchItem{input, "", ""}, false, Outcome::pending, "", ""});
            continue;
        }
        summarise_ = !options.quiet;
        if (options.recursive)
            walk(input, "");
        else
            fail({input, "", ""}, "is a folder (give -r to go through it)");
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) entries_[i].item.index = i;
}

void Batch::fail(BatchItem item, const std::string& what) {
    const std::string line = fileErrorLine(FileError(item.path, what));
    entries_.push_back({std::move(item), false, Outcome::failed, line, ""});
}

void Batch::walk(const std::string& folder, const std::string& below) {
    std::error_code error;
    std::vector<fs::directory_entry> found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        found.push_back(*it);
    if (error) return fail({folder, below, ""}, "cannot read the folder: " + error.message());
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const fs::directory_entry& entry : found) {
        const std::string name = entry.path().filename().string();
        const std::string path = entry.path().string();
        // Links to folders are not followed: a walk must end.
        if (entry.is_directory(error) && !entry.is_symlink(error))
            walk(path, below.empty() ? name : below + "/" + name);
        else if (entry.is_regular_file(error))
            entries_.push_back({BatchItem{path, below, ""}, true, Outcome::pending, "", ""});
        else
            entries_.push_back({BatchItem{path, below, ""}, true, Outcome::skipped, "", ""});
    }
}

void Batch::setOutputs(const std::function<std::string(const BatchItem&)>& outputOf, const std::string& clash) {
    std::map<std::string, std::string> owners;  // output -> the input that has it
    for (Entry& entry : entries_) {
        if (entry.outcome != Outcome::pending) continue;
        entry.item.output = outputOf(entry.item);
        const auto [owner, fresh] = owners.emplace(entry.item.output, entry.item.path);
        if (fresh) continue;
        entry.outcome = Outcome::failed;
        entry.text = fileErrorLine(FileError(entry.item.path, clash + printable(owner->second)));
    }
}

// One run of the batch: the workers take inputs in turn and leave each
// result in its entry; this thread prints them in input order as they
// complete, with the progress line between.
class Batch::Run {
public:
    Run(std::vector<Entry>& entries, const BatchWork& work, bool progress)
        : entries_(entries), work_(work), ready_(entries.size()), progress_(progress) {
        for (std::size_t i = 0; i < entries.size(); ++i) ready_[i] = entries[i].outcome != Outcome::pending;
    }

    void start(const Session& first, unsigned workers) {
        threads_.emplace_back([this, &first] { work(first); });
        for (unsigned i = 1; i < workers; ++i)
            threads_.emplace_back([this, &first] {
                std::string error;
                const std::unique_ptr<Session> own = Session::openAnother(first, error);
                if (own) return work(*own);
                const std::lock_guard guard(lock_);
                workerErrors_.push_back(error);
            });
    }

    // Prints every entry in order, waiting for each; joins the workers.
    void print(const std::string& separator) {
        bool first = true;
        std::size_t next = 0;
        std::unique_lock lock(lock_);
        while (next < entries_.size()) {
            changed_.wait_for(lock, std::chrono::milliseconds(100), [&] { return ready_[next] != 0; });
            std::size_t end = next;
            while (end < entries_.size() && ready_[end]) ++end;
            std::vector<std::string> errors;
            errors.swap(workerErrors_);
            lock.unlock();
            if (end > next || !errors.empty()) clearProgress();
            for (const std::string& error : errors) reportError(error);
            for (; next < end; ++next) first = emit(entries_[next], separator, first);
            drawProgress(end);
            lock.lock();
        }
        lock.unlock();
        clearProgress();
        for (std::thread& thread : threads_) thread.join();
    }

private:
    void work(const Session& session) {
        for (;;) {
            const std::size_t i = next_++;
            if (i >= entries_.size()) return;
            if (ready_[i]) continue;
            finish(entries_[i], session);
            const std::lock_guard guard(lock_);
            ready_[i] = 1;
            changed_.notify_one();
        }
    }

    void finish(Entry& entry, const Session& session) const {
        try {
            BatchOutput output = work_(session, entry.item);
            entry.text = std::move(output.out);
            entry.notes = std::move(output.notes);
            entry.outcome = Outcome::done;
        } catch (const NotAnIconError& error) {
            entry.outcome = entry.walked ? Outcome::skipped : Outcome::failed;
            entry.text = entry.walked ? "" : fileErrorLine(error);
        } catch (const FileError& error) {
            entry.outcome = Outcome::failed;
            entry.text = fileErrorLine(error);
        } catch (const std::exception& error) {
            entry.outcome = Outcome::failed;
            entry.text = fileErrorLine(FileError(entry.item.path, std::string("internal error: ") + error.what()));
        }
    }

    bool emit(const Entry& entry, const std::string& separator, bool first) const {
        if (entry.outcome == Outcome::failed) std::fputs(entry.text.c_str(), stderr);
        std::fputs(entry.notes.c_str(), stderr);
        if (entry.outcome != Outcome::done || entry.text.empty()) return first;
        if (!first) std::fputs(separator.c_str(), stdout);
        std::fputs(entry.text.c_str(), stdout);
        std::fflush(stdout);
        return false;
    }

    void drawProgress(std::size_t done) {
        if (!progress_) return;
        // Redrawn at most ten times a second, and not at all for a batch
        // that ends within a fraction of one.
        const auto now = Clock::now();
        if (now - started_ < std::chrono::milliseconds(300)) return;
        if (shown_ && now - drawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = now;
        shown_ = true;
        const std::size_t total = entries_.size();
        const double seconds = std::chrono::duration<double>(now - started_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        std::string left = "--:--";
        if (rate > 0) {
            const auto remaining = static_cast<long>(static_cast<double>(total - done) / rate + 0.5);
            left = fmt::format("{}:{:02}", remaining / 60, remaining % 60);
        }
        constexpr std::size_t kWidth = 20;
        const std::size_t filled = total ? done * kWidth / total : kWidth;
        fmt::print(stderr, "\r[{}{}] {}/{} files  {:.1f}/s  {} left\x1b[K", std::string(filled, '#'),
                   std::string(kWidth - filled, ' '), done, total, rate, left);
        std::fflush(stderr);
    }

    void clearProgress() {
        if (!shown_) return;
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        shown_ = false;
    }

    std::vector<Entry>& entries_;
    const BatchWork& work_;
    std::vector<char> ready_;  // guarded by lock_ once the workers run
    std::atomic<std::size_t> next_{0};
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> workerErrors_;
    std::vector<std::thread> threads_;
    const bool progress_;
    bool shown_ = false;
    Clock::time_point started_ = Clock::now();
    Clock::time_point drawn_{};
};

int Batch::run(const Session& session, const BatchWork& work, const std::string& separator) {
    // A single file needs no progress line.
    const bool progress = summarise_ && ::isatty(STDERR_FILENO) == 1;
    std::size_t pending = 0;
    for (const Entry& entry : entries_) pending += entry.outcome == Outcome::pending;
    const unsigned jobs = options_.jobs ? options_.jobs : coreCount();
    const auto workers = static_cast<unsigned>(std::clamp<std::size_t>(pending, 1, jobs));
    // A worker's large JPEG 2000 pictures are decoded on its share of the
    // cores, so that the workers do not crowd each other out.
    host::DecodeLimits limits = host::decodeLimits();
    limits.decodeCores = std::max(1u, coreCount() / workers);
    host::setDecodeLimits(limits);
    Run run(entries_, work, progress);
    run.start(session, workers);
    run.print(separator);

    std::size_t counts[4] = {};
    for (const Entry& entry : entries_) ++counts[static_cast<int>(entry.outcome)];
    const std::size_t failed = counts[static_cast<int>(Outcome::failed)];
    if (summarise_)
        fmt::print(stderr, "pictra: {} done, {} failed, {} skipped\n", counts[static_cast<int>(Outcome::done)],
                   failed, counts[static_cast<int>(Outcome::skipped)]);
    return failed ? kExitFailure : kExitSuccess;
}

namespace {

// The text of {NAME} in a name pattern for `item`; nothing for an unknown NAME.
std::optional<std::string> placeholder(std::string_view name, const BatchItem& item, const std::string& extension,
                                       const std::string& format) {
    if (name == "stem") return fs::path(item.path).stem().string();
    if (name == "ext") return extension;
    if (name == "format") return format;
    return std::nullopt;
}

// `pattern` with every {NAME} put in; nothing when a brace is unmatched or
// a NAME unknown.
std::optional<std::string> expandPattern(const std::string& pattern, const BatchItem& item,
                                         const std::string& extension, const std::string& format) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '}') return std::nullopt;
        if (pattern[i] != '{') {
            out += pattern[i];
            continue;
        }
        const std::size_t close = pattern.find('}', i);
        if (close == std::string::npos) return std::nullopt;
        const auto text = placeholder(std::string_view(pattern).substr(i + 1, close - i - 1), item, extension, format);
        if (!text) return std::nullopt;
        out += *text;
        i = close;
    }
    return out;
}

}  // namespace

std::string outputPath(const std::string& folder, const std::string& pattern, const BatchItem& item,
                       const std::string& extension, const std::string& format) {
    return (fs::path(folder) / item.folder / expandPattern(pattern, item, extension, format).value_or(""))
        .string();
}

void checkNamePattern(const std::string& pattern) {
    const auto name = expandPattern(pattern, BatchItem{"icon.info", "", ""}, "ico", "WINDOWS");
    if (!name || name->empty())
        throw CLI::ValidationError("--name: '" + pattern + "' is not a name pattern (known: {stem}, {ext}, {format})");
}

}  // namespace pictra::cli
