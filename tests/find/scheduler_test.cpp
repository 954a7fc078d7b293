// kalvex-find's scheduler fed with fake jobs that hold memory chunk by
// chunk, as a walk's growing list does: the order of the emits, the bytes in
// flight, a read that throws, a stop.
#include "find/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <numeric>

namespace {

const uint64_t Chunk = 100;

struct TFakeJob : FIOrderedJob {
    TFakeJob(size_t index, uint64_t bytes) : Index(index), Bytes(bytes) {}
    size_t Index;
    uint64_t Bytes;
};

// A run of fake jobs through a scheduler. It counts what they hold as the
// scheduler granted it (a chunk once Hold allowed it, given back when its
// job is emitted) and the most that the jobs other than the oldest not yet
// emitted ever held.
class TFakeRun {
public:
    using TRead = std::function<void(TFakeRun &run, TFakeJob &job, TJobMeter &meter)>;
    TFakeRun(int threads, uint64_t bound, const std::vector<uint64_t> &sizes, TRead read)
        : FSizes(sizes), FHeld(sizes.size(), 0),
          Jobs({threads, size_t(4 * threads), bound},
               [this, read](FIOrderedJob &job, TJobMeter &meter) { read(*this, static_cast<TFakeJob &>(job), meter); },
               [this](FIOrderedJob &job) { Emit(static_cast<TFakeJob &>(job)); })
    {
    }
    // Submits every job and finishes (either may throw what a read threw).
    void Run()
    {
        Jobs.Start();
        for (size_t i = 0; i < FSizes.size(); ++i)
            Jobs.Submit(std::make_unique<TFakeJob>(i, FSizes[i]));
        Jobs.Finish();
    }
    // Holds the job's bytes a chunk at a time; false when the meter said stop.
    bool HoldInChunks(TFakeJob &job, TJobMeter &meter)
    {
        for (uint64_t held = 0; held < job.Bytes; held += Chunk) {
            if (!meter.Hold(held + Chunk))
                return false;
            Change(job.Index, Chunk);
        }
        return true;
    }
    // A handshake: returns once the jobs hold at least bytes.
    void WaitForTotal(uint64_t bytes)
    {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return FTotal >= bytes; });
    }
    // Whether the emits came in submission order, from the first job on.
    bool InOrder() const
    {
        std::vector<size_t> order(Emitted.size());
        std::iota(order.begin(), order.end(), 0);
        return Emitted == order;
    }

    std::vector<size_t> Emitted;
    uint64_t PeakBeyondOldest = 0;
    std::function<void(size_t job)> OnEmit;

private:
    void Emit(TFakeJob &job)
    {
        {
            // At once: the next job becomes the oldest as this one's bytes go.
            std::lock_guard<std::mutex> lock(FLock);
            Emitted.push_back(job.Index);
            FHeld[job.Index] -= job.Bytes;
            FTotal -= job.Bytes;
        }
        if (OnEmit)
            OnEmit(job.Index);
    }
    void Change(size_t job, int64_t delta)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FHeld[job] += delta;
        FTotal += delta;
        const uint64_t oldest = Emitted.size() < FHeld.size() ? FHeld[Emitted.size()] : 0;
        PeakBeyondOldest = std::max(PeakBeyondOldest, FTotal - oldest);
        FChanged.notify_all();
    }

    const std::vector<uint64_t> FSizes;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<uint64_t> FHeld;
    uint64_t FTotal = 0;

public:
    TOrderedJobs Jobs;  // last: its threads end before the fields above
};

}  // namespace

TEST(OrderedJobs, EmitInOrderAndHoldNoMoreThanTheBoundBeyondTheOldest)
{
    const uint64_t bound = 10 * Chunk;
    // Jobs of 3 to 7 chunks, and one of 30 that passes the bound by itself:
    // it proceeds once it is the oldest.
    std::vector<uint64_t> sizes;
    for (size_t i = 0; i < 40; ++i)
        sizes.push_back((i == 20 ? 30 : 3 + i % 5) * Chunk);
    for (int threads : {1, 2, 4}) {
        // With readers, the first job waits until the others have filled the
        // room the bound leaves: without a bound they would hold far more.
        TFakeRun run(threads, bound, sizes, [&](TFakeRun &r, TFakeJob &job, TJobMeter &meter) {
            if (job.Index == 0 && threads > 1)
                r.WaitForTotal(bound - Chunk + 1);
            r.HoldInChunks(job, meter);
        });
        run.Run();
        EXPECT_EQ(sizes.size(), run.Emitted.size()) << threads;
        EXPECT_TRUE(run.InOrder()) << threads;
        EXPECT_LE(run.PeakBeyondOldest, bound) << threads;
    }
}

TEST(OrderedJobs, AReadThatThrowsEndsTheRunOnTheSubmittingThread)
{
    for (int threads : {1, 3}) {
        TFakeRun run(threads, 1000 * Chunk, std::vector<uint64_t>(40, 2 * Chunk),
                     [](TFakeRun &r, TFakeJob &job, TJobMeter &meter) {
                         r.HoldInChunks(job, meter);
                         if (job.Index == 5)
                             throw std::bad_alloc();
                     });
        EXPECT_THROW(run.Run(), std::bad_alloc) << threads;
        EXPECT_LE(run.Emitted.size(), 5u) << threads;
        EXPECT_TRUE(run.InOrder()) << threads;
    }
}

TEST(OrderedJobs, AStopEndsTheReadsInProgressAndEmitsNothingMore)
{
    for (int threads : {1, 2, 4}) {
        // Jobs from 4 on hold until told to stop: only the stop ends them.
        TFakeRun run(threads, 1000 * Chunk, std::vector<uint64_t>(40, Chunk),
                     [](TFakeRun &r, TFakeJob &job, TJobMeter &meter) {
                         if (r.HoldInChunks(job, meter) && job.Index >= 4)
                             while (meter.Hold(job.Bytes))
                                 std::this_thread::yield();
                         EXPECT_TRUE(job.Index < 4 || meter.Stopped());
                     });
        run.OnEmit = [&](size_t job) {
            if (job == 3)
                run.Jobs.Stop();
        };
        run.Run();
        EXPECT_EQ(4u, run.Emitted.size()) << threads;
        EXPECT_TRUE(run.InOrder()) << threads;
    }
}
