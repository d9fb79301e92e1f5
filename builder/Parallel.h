#pragma once
// Jobs spread over threads. std::thread serves every build: the MinGW toolchains use the POSIX
// thread model.
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace tarvo::packager {

// One thread per core, at least 1. A 32-bit builder keeps to 4: each LZMA encoder with an 8 MiB
// window holds about 100 MiB, and the process has 2 GiB of address space.
unsigned DefaultThreadCount();

// Runs work(job) for the jobs 0 .. count - 1 on up to `threads` background threads, handing them
// out in increasing order. Wait() lets the threads run every job; the destructor stops handing
// out jobs and waits for those running. Threads() is 0 when no thread could be started: the
// caller then runs the jobs itself with RunNext (Wait does so).
class JobRunner {
public:
    JobRunner(size_t count, unsigned threads, std::function<void(size_t)> work);
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }
    // Hands out no further job; jobs already running finish.
    void Stop() { stop_ = true; }
    // Runs the next job not yet taken on the calling thread; false when none is left.
    bool RunNext();
    // Returns when every job has run (or Stop was called).
    void Wait();

private:
    void Loop();

    std::function<void(size_t)> work_;
    size_t count_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace tarvo::packager
