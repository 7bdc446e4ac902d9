#pragma once
// What engine threads report, gathered for a test that waits for it.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zv2::test {

class TEventLog {
public:
    void Add(std::string entry) {
        {
            std::lock_guard lock(Mutex_);
            Entries_.push_back(std::move(entry));
        }
        Changed_.notify_all();
    }
    // A callback that adds "name key value".
    std::function<void(std::uint32_t, std::int32_t)> Recorder(const std::string& name) {
        return [this, name](std::uint32_t key, std::int32_t value) {
            Add(name + " " + std::to_string(key) + " " + std::to_string(value));
        };
    }
    // Waits (up to a generous minute) until `entry` has been added.
    bool WaitFor(const std::string& entry) {
        std::unique_lock lock(Mutex_);
        return Changed_.wait_for(lock, std::chrono::seconds(60), [&] { return Has(entry); });
    }
    bool Contains(const std::string& entry) const {
        std::lock_guard lock(Mutex_);
        return Has(entry);
    }
    std::vector<std::string> Entries() const {
        std::lock_guard lock(Mutex_);
        return Entries_;
    }

private:
    bool Has(const std::string& entry) const {
        for (const auto& e : Entries_)
            if (e == entry)
                return true;
        return false;
    }
    mutable std::mutex Mutex_;
    std::condition_variable Changed_;
    std::vector<std::string> Entries_;
};

} // namespace zv2::test
