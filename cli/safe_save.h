// Saving without losing anything: output goes to a temporary file in the
// target's folder and replaces the target only when complete. A failed save
// leaves an existing target as it was and no temporary behind.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pictra::cli {

class PendingFile {
public:
    // Creates the temporary; throws FileError naming `target` if it cannot.
    explicit PendingFile(std::string target);
    // Removes the temporary unless commit() succeeded.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& tempPath() const { return temp_; }
    // The name to hand a writer that opens the temporary itself: that of
    // its descriptor, so that an open after a signal removed the temporary
    // writes to the removed file instead of making it again.
    std::string writePath() const;
    int descriptor() const { return fd_; }

    // Flushes the temporary to disk, gives it the target's permissions (or
    // the usual ones for a new file) and renames it over the target. Throws
    // FileError naming the target on failure.
    void commit();

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int tracked_ = -1;  // its entry for removeTemporariesOnSignals
    bool committed_ = false;
};

// From now on SIGINT, SIGTERM and SIGHUP (unless ignored) remove the
// temporary of every PendingFile not yet committed or destroyed, then end
// the process with status 128 + the signal.
void removeTemporariesOnSignals();

// Writes `bytes` to `target` through a PendingFile.
void writeFileSafely(const std::string& target, std::span<const uint8_t> bytes);

}  // namespace pictra::cli
