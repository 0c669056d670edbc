// The worker pool: threads wait for a batch, take job numbers under one lock (a job is a
// whole 32 KB block, far longer than the lock), and report when the batch is drained.
#include "K4WorkerPool.h"

namespace cabwrite {

WorkerPool::WorkerPool(unsigned workers) {
    for (unsigned w = 1; w < workers; ++w) threads_.emplace_back([this, w] { Serve(w); });
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Run(std::size_t count, const Job& job) {
    {
        const std::lock_guard lock(mutex_);
        job_ = &job;
        count_ = count;
        next_ = 0;
        busy_ = static_cast<unsigned>(threads_.size());
        failure_ = nullptr;
        ++batch_;
    }
    wake_.notify_all();
    Drain(0);
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return busy_ == 0; });
    job_ = nullptr;
    if (failure_) std::rethrow_exception(failure_);
}

void WorkerPool::Serve(unsigned worker) {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || batch_ != seen; });
            if (stopping_) return;
            seen = batch_;
        }
        Drain(worker);
        const std::lock_guard lock(mutex_);
        if (--busy_ == 0) idle_.notify_one();
    }
}

void WorkerPool::Drain(unsigned worker) {
    for (;;) {
        std::size_t index;
        {
            const std::lock_guard lock(mutex_);
            if (next_ >= count_) return;
            index = next_++;
        }
        try {
            (*job_)(worker, index);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
        }
    }
}

unsigned WorkersFor(unsigned requested) {
    if (requested > 0) return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

}  // namespace cabwrite
