// kalvex-find's scheduling: jobs read on worker threads and handed back on
// the submitting thread in the order they were submitted, with the jobs in
// flight bounded by count and by the bytes they hold.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One job: what its read fills in and its emit hands on.
class FIOrderedJob {
public:
    virtual ~FIOrderedJob() = default;
};

// A job in flight and the bytes its read said it holds.
struct TJobSlot {
    std::unique_ptr<FIOrderedJob> Job;
    uint64_t Bytes = 0;
    bool Done = false;
};

class TOrderedJobs;

// What a read tells the scheduler about the memory its job holds.
class TJobMeter {
public:
    // The job now holds bytes in all. A job other than the oldest in flight
    // first waits while the growth would take the bytes in flight past the
    // bound; the oldest never waits, so the run always moves on. False once
    // the run stops: the read should end, its job will not be emitted.
    bool Hold(uint64_t bytes);
    bool Stopped() const;

private:
    friend class TOrderedJobs;
    TJobMeter(TOrderedJobs &jobs, TJobSlot &slot) : FJobs(jobs), FSlot(slot) {}
    TOrderedJobs &FJobs;
    TJobSlot &FSlot;
};

class TOrderedJobs {
public:
    struct TLimits {
        int Threads = 1;        // readers; 1 reads each job on the submitting thread
        size_t Jobs = 4;        // jobs submitted and not yet emitted, at most
        uint64_t Bytes = 0;     // bytes those jobs hold, beyond the oldest's
    };
    using TRead = std::function<void(FIOrderedJob &job, TJobMeter &meter)>;
    using TEmit = std::function<void(FIOrderedJob &job)>;

    TOrderedJobs(const TLimits &limits, TRead read, TEmit emit);
    // Stops the run and joins the threads; jobs not emitted are dropped.
    ~TOrderedJobs();
    TOrderedJobs(const TOrderedJobs &) = delete;
    TOrderedJobs &operator=(const TOrderedJobs &) = delete;

    // Starts the readers; a thread that cannot start throws a runtime_error
    // that says so (the destructor joins those that started).
    void Start();
    // Queues job, first emitting the finished jobs at the front and waiting
    // while the count bound is reached. A read that threw ends the run: its
    // exception comes out of the next Submit or Finish.
    void Submit(std::unique_ptr<FIOrderedJob> job);
    // Emits the jobs left, in order, and joins the readers.
    void Finish();
    // From here on no job is read or emitted; a read in progress sees it
    // through its meter.
    void Stop();
    bool Stopped() const { return FStopped.load(std::memory_order_relaxed); }

private:
    friend class TJobMeter;
    void Work();
    void Read(TJobSlot &slot);
    // Emits the finished jobs at the front; lock is held on entry and exit.
    void EmitDone(std::unique_lock<std::mutex> &lock);
    // Emits finished jobs in order, waiting for the oldest as needed, until
    // fewer than count are in flight; false when the run stopped first. A
    // read's failure is thrown. lock is held on entry and exit.
    bool EmitUntilBelow(std::unique_lock<std::mutex> &lock, size_t count);
    // Throws the first read's failure; lock held.
    void Rethrow();
    void Close();
    bool Hold(TJobSlot &slot, uint64_t bytes);

    const TLimits FLimits;
    const TRead FRead;
    const TEmit FEmit;
    std::atomic<bool> FStopped{false};

    std::mutex FLock;
    std::condition_variable FWork, FDone, FRoom;
    std::deque<std::unique_ptr<TJobSlot>> FInFlight;  // in submission order
    std::deque<TJobSlot *> FQueue;                    // not yet taken by a reader
    uint64_t FBytes = 0;                           // held by the jobs in flight
    bool FClosed = false;
    std::exception_ptr FError;
    std::vector<std::thread> FThreads;
};
