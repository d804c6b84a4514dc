// pictra_sweep: damages icon files every way the plan in damage.h names and
// loads and saves the results through the real pictra.vxm and the reference
// host, as the pictra tool does. After every operation: no memory block,
// stream or decoded image left, no block freed amiss, a success only where
// it is sound (a damaged load that succeeds hands out readable pictures; a
// load or save under a failing allocation either fails or gives exactly
// what the clean one gave; a save onto a full disk is reported as failed),
// and no operation longer than the watchdog allows. Each file is swept in a
// child process, so a crash, a sanitizer report or a hang is one failed
// file naming the operation, and the sweep goes on.
//   pictra_sweep [--full] [--write-case DIR] [--module PATH] [--timeout S] [--jobs N] FILE|DIR...
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "host/images.h"
#include "host/memory.h"
#include "host/module_loader.h"
#include "host/services.h"
#include "host/streams.h"
#include "sweep/damage.h"
#include "fuzz/icon_walk.h"

namespace {

namespace fs = std::filesystem;
using namespace pictra;
using sweep::Bytes;
using sweep::Damage;
using sweep::Kind;

struct Options {
    bool full = false;
    std::string caseFolder;
    std::string modulePath;
    double timeoutSeconds = 2.0;
    std::size_t jobs = 1;
    std::vector<std::string> inputs;
};

// What a child tells its parent, in memory both share.
struct Progress {
    std::atomic<int64_t> startedMs;     // 0 between operations
    std::atomic<int64_t> startedCpuNs;  // the child's processor time then
    std::atomic<uint32_t> done;
    Damage current;
    uint32_t counts[8];  // operations done, by Kind
    char failure[1024];
};

// The processor time `clock` has used (the child's, read by the parent).
int64_t cpuNs(clockid_t clock) {
    timespec now{};
    if (::clock_gettime(clock, &now) != 0) return 0;
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::size_t allocationsSoFar() {
    std::size_t total = 0;
    for (const host::TagUsage& usage : host::memoryUsageByTag()) total += usage.allocations;
    return total;
}

// One file's sweep, run in the child.
class FileSweep {
public:
    FileSweep(const host::EntryPoints& entry, const std::vector<host::Saver>& savers,
              const fs::path& folder, const Options& options, Progress& progress)
        : entry_(entry), savers_(savers), input_((folder / "input").string()),
          output_((folder / "output").string()), options_(options), progress_(progress) {}

    // Returns normally only when every operation passed.
    void run(const Bytes& file) {
        // Sampled: at most this many of each kind per file, and the
        // allocation and full-disk sweeps of saves only without compression.
        // (The test command sweeps the whole corpus so within a few minutes.)
        const sweep::PlanLimits limits =
            options_.full ? sweep::PlanLimits{} : sweep::PlanLimits{20, 5, 15, 5, 1, 1};
        const uint64_t seed = sweep::seedOf(file);
        // The clean load: its pictures are the reference for loads under a
        // failing allocation, and the source of every save.
        writeBytes(input_, file);
        std::size_t before = allocationsSoFar();
        Loaded clean = start({Kind::Load}, [&] { return load(); });
        const std::size_t loadAllocations = allocationsSoFar() - before;
        // The blocks of the clean load stay live through the sweep.
        const std::size_t baseline = host::liveBlockCount();
        finish(baseline);
        for (const Damage& damage : sweep::plannedLoadDamage(file, limits)) {
            writeBytes(input_, sweep::apply(file, damage));
            start(damage, [&] { return load(); });
            finish(baseline);
        }
        writeBytes(input_, file);
        std::vector<uint32_t> numbers;
        for (uint32_t n = 1; n <= loadAllocations; ++n) numbers.push_back(n);
        for (uint32_t n : sweep::sampled(numbers, limits.loadAllocations, seed + 3)) {
            Loaded loaded = start({Kind::LoadAllocation, n}, [&] {
                host::failAllocationNumber(n);
                Loaded result = load();
                host::clearAllocationFaults();
                return result;
            });
            if (loaded.icon && loaded.print != clean.print)
                fail("succeeded with other pictures or attributes than the clean load");
            finish(baseline);
        }
        if (!clean.icon) return;
        IconImage* images = entry_.getIconImages(clean.icon.get());
        for (int32_t format = 0; format < int32_t(savers_.size()); ++format)
            sweepSaves(format, images, clean.attributes, baseline, seed + 4 + uint64_t(format), limits);
    }

private:
    struct Loaded {
        host::IconPtr icon;
        IconAttributes attributes{};
        uint64_t print = 0;
    };

    template <typename Operation>
    auto start(const Damage& damage, Operation operation) -> decltype(operation()) {
        progress_.current = damage;
        host::resetStreamCounters();
        progress_.startedCpuNs = cpuNs(CLOCK_PROCESS_CPUTIME_ID);
        progress_.startedMs = nowMs();
        return operation();
    }

    // After an operation: the host must hold `blocks` blocks (those of the
    // clean load kept for saving), and nothing else.
    void finish(std::size_t blocks) {
        progress_.startedMs = 0;
        if (host::liveBlockCount() != blocks)
            fail("memory left behind:\n" + host::leakReport());
        if (host::badFreeCount() != 0) fail("a block freed amiss:\n" + host::leakReport());
        if (host::streamCounters().liveStreams != 0) fail("a stream left open");
        if (host::liveImageCount() != 0) fail("a decoded image left unreleased");
        ++progress_.counts[int(progress_.current.kind)];
        ++progress_.done;
    }

    [[noreturn]] void fail(const std::string& why) {
        std::snprintf(progress_.failure, sizeof progress_.failure, "%s", why.c_str());
        std::fflush(nullptr);
        ::_exit(1);
    }

    Loaded load(const std::string& path = {}) {
        Loaded loaded;
        const TagItem tags[] = {{LoadTagAttributes, reinterpret_cast<uintptr_t>(&loaded.attributes)},
                                {TagEnd, 0}};
        const std::string& file = path.empty() ? input_ : path;
        const std::size_t liveBefore = host::liveByteCount();
        host::resetPeakByteCount();
        loaded.icon = host::IconPtr(entry_.loadIcon(file.c_str(), tags), {entry_.freeIcon});
        std::error_code ignored;
        const std::size_t held = host::peakByteCount() - liveBefore;
        if (held > test::loadPeakBound(std::size_t(fs::file_size(file, ignored))))
            fail("the load held " + std::to_string(held) + " bytes at once, past its budget");
        if (!loaded.icon) return loaded;
        const IconImage* images = entry_.getIconImages(loaded.icon.get());
        std::string fault = test::walkImages(images);
        if (fault.empty()) fault = test::budgetFault(images);
        if (!fault.empty()) fail("loaded, but " + fault);
        test::walkAttributes(loaded.attributes);
        test::Fingerprint print;
        print.addImages(images);
        print.addAttributes(loaded.attributes);
        loaded.print = print.value();
        return loaded;
    }

    int32_t save(int32_t format, bool compress, IconImage* images, const IconAttributes& attributes) {
        const TagItem tags[] = {{SaveTagFormat, savers_[std::size_t(format)].formatId},
                                {SaveTagCompress, compress ? 1u : 0u},
                                {SaveTagAttributes, reinterpret_cast<uintptr_t>(&attributes)},
                                {TagEnd, 0}};
        std::error_code ignored;
        fs::remove(output_, ignored);
        return entry_.saveIcon(output_.c_str(), images, tags);
    }

    void sweepSaves(int32_t format, IconImage* images, const IconAttributes& attributes,
                    std::size_t baseline, uint64_t seed, const sweep::PlanLimits& limits) {
        const std::string& name = savers_[std::size_t(format)].name;
        for (bool compress : {false, true}) {
            Damage damage{Kind::Save};
            damage.format = format;
            damage.compress = compress;
            const std::size_t before = allocationsSoFar();
            host::traceFileWrites();
            const int32_t saved = start(damage, [&] { return save(format, compress, images, attributes); });
            const std::vector<std::size_t> writeEnds = host::tracedFileWrites();
            const std::size_t saveAllocations = allocationsSoFar() - before;
            if (saved && host::streamCounters().failedWrites != 0) fail("a write was lost");
            const Bytes output = saved ? readBytes(output_) : Bytes{};
            if (saved && !load(output_).icon) fail("saved a file that does not load as " + name);
            finish(baseline);
            if (!saved) continue;  // this writer refuses these pictures
            if (compress && !options_.full) continue;

            std::vector<uint32_t> numbers;
            for (uint32_t n = 1; n <= saveAllocations; ++n) numbers.push_back(n);
            for (uint32_t n : sweep::sampled(numbers, limits.saveAllocations, seed + compress)) {
                damage.kind = Kind::SaveAllocation;
                damage.at = n;
                const int32_t result = start(damage, [&] {
                    host::failAllocationNumber(n);
                    const int32_t r = save(format, compress, images, attributes);
                    host::clearAllocationFaults();
                    return r;
                });
                if (result && readBytes(output_) != output)
                    fail("succeeded with other bytes than the clean save");
                finish(baseline);
            }
            const std::vector<uint32_t> room = sweep::diskSizes(writeEnds, output.size());
            for (uint32_t bytes : sweep::sampled(room, limits.writeLimits, seed + 2 + compress)) {
                damage.kind = Kind::SaveWriteLimit;
                damage.at = bytes;
                const bool reportedSaved = start(damage, [&] {
                    host::limitFileWrites(bytes);
                    const int32_t r = save(format, compress, images, attributes);
                    host::clearFileWriteLimit();
                    // As the tool decides: the module's result and the host's count of lost writes.
                    return r != 0 && host::streamCounters().failedWrites == 0;
                });
                if (reportedSaved) fail("reported as saved though the disk was full");
                finish(baseline);
            }
        }
    }

    const host::EntryPoints& entry_;
    const std::vector<host::Saver>& savers_;
    std::string input_, output_;
    const Options& options_;
    Progress& progress_;
};

std::string formatName(const std::vector<host::Saver>& savers, int32_t format) {
    return format >= 0 && std::size_t(format) < savers.size() ? savers[std::size_t(format)].name : "";
}

std::string summary(const Progress& p) {
    const uint32_t* c = p.counts;
    char text[200];
    std::snprintf(text, sizeof text,
                  "%u operations (%u cut, %u corrupted, %u failing allocations on load, %u saves, "
                  "%u failing allocations on save, %u full disks)",
                  p.done.load(), c[int(Kind::Truncate)],
                  c[int(Kind::Flip)] + c[int(Kind::Field)], c[int(Kind::LoadAllocation)],
                  c[int(Kind::Save)], c[int(Kind::SaveAllocation)], c[int(Kind::SaveWriteLimit)]);
    return text;
}

// One child at work on one file.
struct Running {
    pid_t pid = -1;
    fs::path file;
    Bytes bytes;
    Progress* progress = nullptr;
    fs::path folder;
    clockid_t clock{};
    bool hasClock = false;  // emulators may not offer another process's clock
};

// Starts the sweep of `file` in a child; false when no process could be made.
bool startFile(Running& slot, const fs::path& file, const host::EntryPoints& entry,
               const std::vector<host::Saver>& savers, const Options& options) {
    slot.file = file;
    slot.bytes = readBytes(file);
    std::memset(static_cast<void*>(slot.progress), 0, sizeof(Progress));
    std::fflush(nullptr);
    slot.pid = ::fork();
    if (slot.pid < 0) return false;
    if (slot.pid == 0) {
        FileSweep(entry, savers, slot.folder, options, *slot.progress).run(slot.bytes);
        std::fflush(nullptr);
        ::_exit(0);
    }
    slot.hasClock = ::clock_getcpuclockid(slot.pid, &slot.clock) == 0 && cpuNs(slot.clock) != 0;
    return true;
}

// Prints the line of a finished child (`why` set when the parent stopped
// it); true when the file passed.
bool reportFile(const Running& slot, int status, std::string why, const std::vector<host::Saver>& savers,
                const Options& options) {
    const Progress& progress = *slot.progress;
    if (why.empty()) {
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            std::printf("ok   %s: %s\n", slot.file.c_str(), summary(progress).c_str());
            return true;
        }
        why = WIFSIGNALED(status) ? "crashed with signal " + std::to_string(WTERMSIG(status))
              : progress.failure[0] ? std::string(progress.failure)
                                    : "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    const Damage damage = progress.current;
    const std::string name = formatName(savers, damage.format);
    std::printf("FAIL %s: %s: %s (after %s)\n", slot.file.c_str(), sweep::describe(damage, name).c_str(),
                why.c_str(), summary(progress).c_str());
    if (!options.caseFolder.empty()) {
        const fs::path target = fs::path(options.caseFolder) /
                                (slot.file.stem().string() + "." + sweep::slug(damage, name) +
                                 slot.file.extension().string());
        fs::create_directories(options.caseFolder);
        writeBytes(target, sweep::apply(slot.bytes, damage));
        std::printf("     damaged input written to %s\n", target.c_str());
    }
    return false;
}

int usage() {
    std::fprintf(stderr,
                 "usage: pictra_sweep [--full] [--write-case DIR] [--module PATH] [--timeout SECONDS] "
                 "[--jobs N] FILE|DIR...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // A sampled sweep of a large JPEG 2000 icon spent a quarter of its time
    // in the clearing of freshly mapped pages: every block stays warm here.
    pictra::host::keepFreedMemory(32 << 20);
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--full") options.full = true;
        else if (word == "--write-case" && i + 1 < argc) options.caseFolder = argv[++i];
        else if (word == "--module" && i + 1 < argc) options.modulePath = argv[++i];
        else if (word == "--timeout" && i + 1 < argc) options.timeoutSeconds = std::atof(argv[++i]);
        else if (word == "--jobs" && i + 1 < argc) options.jobs = std::size_t(std::atoi(argv[++i]));
        else if (word.rfind("--", 0) == 0) return usage();
        else options.inputs.push_back(word);
    }
    if (options.inputs.empty() || options.timeoutSeconds <= 0) return usage();

    // Folders are walked in name order; their documentation and manifests
    // (.md, .tsv) are left out.
    std::vector<fs::path> files;
    for (const std::string& input : options.inputs) {
        if (fs::is_directory(input)) {
            std::vector<fs::path> found;
            for (const auto& entry : fs::recursive_directory_iterator(input)) {
                const std::string ext = entry.path().extension().string();
                if (entry.is_regular_file() && ext != ".md" && ext != ".tsv") found.push_back(entry.path());
            }
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(input)) {
            files.emplace_back(input);
        } else {
            std::fprintf(stderr, "pictra_sweep: %s: no such file or folder\n", input.c_str());
            return 2;
        }
    }

    std::string error;
    auto module = host::Module::open(host::findModulePath(options.modulePath), error);
    if (!module) {
        std::fprintf(stderr, "pictra_sweep: %s\n", error.c_str());
        return 2;
    }
    HostServices services = host::makeHostServices();
    if (!module->initialise(&services)) {
        std::fprintf(stderr, "pictra_sweep: the module did not initialise\n");
        return 2;
    }
    const std::vector<host::Saver> savers = module->savers();

    std::string pattern = (fs::temp_directory_path() / "pictra-sweep-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "pictra_sweep: cannot make a temporary folder\n");
        return 2;
    }
    const std::size_t jobs = std::max<std::size_t>(1, options.jobs);
    void* shared = ::mmap(nullptr, sizeof(Progress) * jobs, PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return 2;
    std::vector<Running> slots(jobs);
    for (std::size_t i = 0; i < jobs; ++i) {
        slots[i].progress = new (static_cast<Progress*>(shared) + i) Progress;
        slots[i].folder = fs::path(pattern) / std::to_string(i);
        fs::create_directories(slots[i].folder);
    }

    std::size_t passed = 0, failed = 0, next = 0, running = 0;
    uint64_t operations = 0;
    const int64_t began = nowMs();
    const int64_t timeoutMs = int64_t(options.timeoutSeconds * 1000);
    while (next < files.size() || running > 0) {
        for (Running& slot : slots) {
            if (slot.pid < 0 && next < files.size()) {
                if (startFile(slot, files[next++], module->entry(), savers, options)) {
                    ++running;
                } else {
                    std::printf("FAIL %s: cannot start a process\n", slot.file.c_str());
                    ++failed;
                }
            }
            if (slot.pid < 0) continue;
            int status = 0;
            std::string why;
            pid_t done = ::waitpid(slot.pid, &status, WNOHANG);
            // The watchdog counts the child's processor time, so that a
            // busy machine does not make a slow operation of a loop; a
            // child that waits rather than works is stopped after ten times
            // as long on the clock.
            const int64_t started = slot.progress->startedMs.load();
            const bool overdue =
                started != 0 &&
                ((slot.hasClock &&
                  cpuNs(slot.clock) - slot.progress->startedCpuNs.load() > timeoutMs * 1000000) ||
                 nowMs() - started > 10 * timeoutMs);
            if (done != slot.pid && overdue) {
                ::kill(slot.pid, SIGKILL);
                done = ::waitpid(slot.pid, &status, 0);
                char text[64];
                std::snprintf(text, sizeof text, "ran longer than %.1f s", options.timeoutSeconds);
                why = text;
            }
            if (done != slot.pid) continue;
            operations += slot.progress->done;
            (reportFile(slot, status, why, savers, options) ? passed : failed)++;
            std::fflush(stdout);
            slot.pid = -1;
            --running;
        }
        ::usleep(2000);
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    std::printf("%llu operations on %zu files in %.1f s (%s)\n", static_cast<unsigned long long>(operations),
                files.size(), double(nowMs() - began) / 1000, options.full ? "full" : "sampled");
    std::printf("%zu passed, %zu failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
