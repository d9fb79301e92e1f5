#include "builder/Parallel.h"

#include <algorithm>
#include <system_error>

namespace tarvo::packager {

unsigned DefaultThreadCount() {
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return sizeof(void*) < 8 ? std::min(cores, 4u) : cores;
}

JobRunner::JobRunner(size_t count, unsigned threads, std::function<void(size_t)> work)
    : work_(std::move(work)), count_(count) {
    const size_t wanted = std::min<size_t>(std::max(1u, threads), count);
    for (size_t i = 0; i < wanted; ++i) {
        try {
            threads_.emplace_back([this] { Loop(); });
        } catch (const std::system_error&) {
            break;  // fewer threads; with none the caller runs the jobs
        }
    }
}

JobRunner::~JobRunner() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
}

void JobRunner::Wait() {
    if (threads_.empty()) {
        while (RunNext()) {
        }
    }
    for (std::thread& t : threads_) t.join();
    threads_.clear();
}

bool JobRunner::RunNext() {
    if (stop_) return false;
    const size_t job = next_++;
    if (job >= count_) return false;
    work_(job);
    return true;
}

void JobRunner::Loop() {
    while (RunNext()) {
    }
}

}  // namespace tarvo::packager
