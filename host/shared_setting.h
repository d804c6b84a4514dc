// A host setting that any thread may read or change at any time.
#pragma once

#include <mutex>

namespace pictra::host {

template <typename Value>
class SharedSetting {
public:
    Value get() {
        std::lock_guard guard(lock_);
        return value_;
    }
    void set(const Value& value) {
        std::lock_guard guard(lock_);
        value_ = value;
    }

private:
    std::mutex lock_;
    Value value_{};
};

}  // namespace pictra::host
