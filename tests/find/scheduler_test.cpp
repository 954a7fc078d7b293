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
#include <vector>

namespace {

const uint64_t Chunk = 100;

struct TFakeJob : FIOrderedJob {
    TFakeJob(size_t index, uint64_t bytes) : Index(index), Bytes(bytes) {}
    size_t Index;
    uint64_t Bytes;
};

// What the fake jobs hold, as the scheduler granted it (a chunk is counted
// once Hold allowed it, and given back when its job is emitted), and the
// most that the jobs other than the oldest not yet emitted ever held.
class TLedger {
public:
    explicit TLedger(size_t jobs) : FHeld(jobs, 0) {}

    void Change(size_t job, int64_t delta)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FHeld[job] += delta;
        FTotal += delta;
        const uint64_t oldest = Emitted.size() < FHeld.size() ? FHeld[Emitted.size()] : 0;
        PeakBeyondOldest = std::max(PeakBeyondOldest, FTotal - oldest);
        FChanged.notify_all();
    }
    void Emit(size_t job, uint64_t bytes)
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            Emitted.push_back(job);
        }
        Change(job, -static_cast<int64_t>(bytes));
    }
    // A handshake: returns once the jobs hold at least bytes.
    void WaitForTotal(uint64_t bytes)
    {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return FTotal >= bytes; });
    }

    std::vector<size_t> Emitted;
    uint64_t PeakBeyondOldest = 0;

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<uint64_t> FHeld;
    uint64_t FTotal = 0;
};

// Holds the job's bytes a chunk at a time; false when the meter said stop.
bool HoldInChunks(TFakeJob &job, TJobMeter &meter, TLedger &ledger)
{
    for (uint64_t held = 0; held < job.Bytes; held += Chunk) {
        if (!meter.Hold(held + Chunk))
            return false;
        ledger.Change(job.Index, Chunk);
    }
    return true;
}

std::vector<size_t> Indexes(size_t n)
{
    std::vector<size_t> v(n);
    std::iota(v.begin(), v.end(), 0);
    return v;
}

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
        TLedger ledger(sizes.size());
        // With readers, the first job waits until the others have filled
        // the room the bound leaves: had they no bound, they would hold far more.
        const bool hostage = threads > 1;
        TOrderedJobs jobs(
            {threads, size_t(4 * threads), bound},
            [&](FIOrderedJob &j, TJobMeter &meter) {
                TFakeJob &job = static_cast<TFakeJob &>(j);
                if (job.Index == 0 && hostage)
                    ledger.WaitForTotal(bound - Chunk + 1);
                HoldInChunks(job, meter, ledger);
            },
            [&](FIOrderedJob &j) { ledger.Emit(static_cast<TFakeJob &>(j).Index, static_cast<TFakeJob &>(j).Bytes); });
        jobs.Start();
        for (size_t i = 0; i < sizes.size(); ++i)
            jobs.Submit(std::make_unique<TFakeJob>(i, sizes[i]));
        jobs.Finish();
        EXPECT_EQ(Indexes(sizes.size()), ledger.Emitted) << threads;
        EXPECT_LE(ledger.PeakBeyondOldest, bound) << threads;
    }
}

TEST(OrderedJobs, AReadThatThrowsEndsTheRunOnTheSubmittingThread)
{
    for (int threads : {1, 3}) {
        TLedger ledger(40);
        TOrderedJobs jobs(
            {threads, size_t(4 * threads), 1000 * Chunk},
            [&](FIOrderedJob &j, TJobMeter &meter) {
                TFakeJob &job = static_cast<TFakeJob &>(j);
                HoldInChunks(job, meter, ledger);
                if (job.Index == 5)
                    throw std::bad_alloc();
            },
            [&](FIOrderedJob &j) { ledger.Emit(static_cast<TFakeJob &>(j).Index, static_cast<TFakeJob &>(j).Bytes); });
        jobs.Start();
        EXPECT_THROW(
            {
                for (size_t i = 0; i < 40; ++i)
                    jobs.Submit(std::make_unique<TFakeJob>(i, 2 * Chunk));
                jobs.Finish();
            },
            std::bad_alloc)
            << threads;
        // What was emitted came in order and stopped before the failed job.
        ASSERT_LE(ledger.Emitted.size(), 5u) << threads;
        EXPECT_EQ(Indexes(ledger.Emitted.size()), ledger.Emitted) << threads;
    }
}

TEST(OrderedJobs, AStopEndsTheReadsInProgressAndEmitsNothingMore)
{
    for (int threads : {1, 2, 4}) {
        TLedger ledger(40);
        TOrderedJobs *run = nullptr;
        // Jobs from 4 on hold until told to stop: only the stop ends them.
        TOrderedJobs jobs(
            {threads, size_t(4 * threads), 1000 * Chunk},
            [&](FIOrderedJob &j, TJobMeter &meter) {
                TFakeJob &job = static_cast<TFakeJob &>(j);
                if (HoldInChunks(job, meter, ledger) && job.Index >= 4)
                    while (meter.Hold(job.Bytes))
                        std::this_thread::yield();
                EXPECT_TRUE(job.Index < 4 || meter.Stopped());
            },
            [&](FIOrderedJob &j) {
                TFakeJob &job = static_cast<TFakeJob &>(j);
                ledger.Emit(job.Index, job.Bytes);
                if (job.Index == 3)
                    run->Stop();
            });
        run = &jobs;
        jobs.Start();
        for (size_t i = 0; i < 40; ++i)
            jobs.Submit(std::make_unique<TFakeJob>(i, Chunk));
        jobs.Finish();
        EXPECT_EQ(Indexes(4), ledger.Emitted) << threads;
        EXPECT_TRUE(jobs.Stopped());
    }
}
