// A small pool of threads that runs one batch of numbered jobs at a time, the caller
// working alongside: the cabinet writer compresses a batch of blocks on every core with it.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cabwrite {

class WorkerPool {
public:
    // One job: its worker (0 the caller, then 1 to Workers() - 1) and its number.
    using Job = std::function<void(unsigned worker, std::size_t index)>;

    // `workers` threads at work on a batch, the caller counted: workers - 1 are started.
    explicit WorkerPool(unsigned workers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned Workers() const { return static_cast<unsigned>(threads_.size()) + 1; }
    // Runs job(worker, i) for every i below `count`, each once, and returns when all have
    // finished; rethrows the first exception a job threw (the others still ran).
    void Run(std::size_t count, const Job& job);

private:
    void Serve(unsigned worker);
    void Drain(unsigned worker);

    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    const Job* job_ = nullptr;
    std::size_t count_ = 0, next_ = 0;
    unsigned busy_ = 0;
    std::uint64_t batch_ = 0;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::vector<std::thread> threads_;
};

// The number of workers for a request: `requested`, or every core for 0.
unsigned WorkersFor(unsigned requested);

}  // namespace cabwrite
