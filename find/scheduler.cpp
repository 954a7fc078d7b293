#include "find/scheduler.h"

#include <chrono>
#include <stdexcept>
#include <system_error>

namespace {

// Waits until done() holds, looking again every 10 ms even without a
// notification: MinGW's condition variables (winpthreads) have been seen to
// lose a wake-up under Wine, which left a run waiting for ever.
template <class Done> void Wait(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, Done done)
{
    while (!done())
        cv.wait_for(lock, std::chrono::milliseconds(10));
}

}  // namespace

bool TJobMeter::Hold(uint64_t bytes)
{
    return FJobs.Hold(FSlot, bytes);
}

bool TJobMeter::Stopped() const
{
    return FJobs.Stopped();
}

TOrderedJobs::TOrderedJobs(const TLimits &limits, TRead read, TEmit emit)
    : FLimits(limits), FRead(std::move(read)), FEmit(std::move(emit))
{
}

TOrderedJobs::~TOrderedJobs()
{
    Stop();
    Close();
}

void TOrderedJobs::Start()
{
    if (FLimits.Threads <= 1)
        return;
    FThreads.reserve(FLimits.Threads);
    try {
        for (int i = 0; i < FLimits.Threads; ++i)
            FThreads.emplace_back([this] { Work(); });
    } catch (const std::system_error &e) {
        throw std::runtime_error("cannot start a thread: " + e.code().message());
    }
}

void TOrderedJobs::Submit(std::unique_ptr<FIOrderedJob> job)
{
    if (FThreads.empty()) {
        // One reader: the job is read and emitted here, as the oldest in flight.
        if (Stopped())
            return;
        TJobSlot slot{std::move(job)};
        Read(slot);
        {
            std::lock_guard<std::mutex> lock(FLock);
            Rethrow();
            FBytes -= slot.Bytes;
        }
        if (!Stopped())
            FEmit(*slot.Job);
        return;
    }
    std::unique_lock<std::mutex> lock(FLock);
    if (!EmitUntilBelow(lock, FLimits.Jobs))
        return;
    FInFlight.push_back(std::make_unique<TJobSlot>(TJobSlot{std::move(job)}));
    FQueue.push_back(FInFlight.back().get());
    lock.unlock();
    FWork.notify_one();
}

void TOrderedJobs::Finish()
{
    {
        std::unique_lock<std::mutex> lock(FLock);
        EmitUntilBelow(lock, 1);
    }
    Close();
}

void TOrderedJobs::Stop()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopped = true;
    }
    FWork.notify_all();
    FDone.notify_all();
    FRoom.notify_all();
}

void TOrderedJobs::Work()
{
    for (;;) {
        TJobSlot *slot;
        {
            std::unique_lock<std::mutex> lock(FLock);
            Wait(FWork, lock, [this] { return FStopped || FClosed || !FQueue.empty(); });
            if (FStopped || FQueue.empty())
                return;
            slot = FQueue.front();
            FQueue.pop_front();
        }
        Read(*slot);
        {
            std::lock_guard<std::mutex> lock(FLock);
            slot->Done = true;
        }
        FDone.notify_all();
    }
}

void TOrderedJobs::Read(TJobSlot &slot)
{
    // Nothing thrown leaves a thread: the first failure stops the run and
    // comes out of the submitting thread's next call.
    try {
        TJobMeter meter(*this, slot);
        FRead(*slot.Job, meter);
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(FLock);
            if (!FStopped)
                FError = std::current_exception();
        }
        Stop();
    }
}

void TOrderedJobs::EmitDone(std::unique_lock<std::mutex> &lock)
{
    while (!FStopped && !FInFlight.empty() && FInFlight.front()->Done) {
        // The front slot is the submitting thread's now: no reader touches a
        // finished job. It stays the oldest until its memory is gone, so the
        // next one grows past the bound only then.
        TJobSlot &slot = *FInFlight.front();
        lock.unlock();
        FEmit(*slot.Job);
        slot.Job.reset();
        lock.lock();
        FBytes -= slot.Bytes;
        FInFlight.pop_front();
        FRoom.notify_all();
    }
}

bool TOrderedJobs::EmitUntilBelow(std::unique_lock<std::mutex> &lock, size_t count)
{
    for (;;) {
        EmitDone(lock);
        Rethrow();
        if (FStopped)
            return false;
        if (FInFlight.size() < count)
            return true;
        Wait(FDone, lock, [this] { return FStopped || FInFlight.front()->Done; });
    }
}

void TOrderedJobs::Rethrow()
{
    if (FError)
        std::rethrow_exception(FError);
}

void TOrderedJobs::Close()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FClosed = true;
    }
    FWork.notify_all();
    for (std::thread &t : FThreads)
        if (t.joinable())
            t.join();
}

bool TOrderedJobs::Hold(TJobSlot &slot, uint64_t bytes)
{
    std::unique_lock<std::mutex> lock(FLock);
    const bool oldest = FInFlight.empty() || FInFlight.front().get() == &slot;
    if (bytes > slot.Bytes && !oldest) {
        const uint64_t growth = bytes - slot.Bytes;
        Wait(FRoom, lock, [&] {
            return FStopped || FInFlight.front().get() == &slot || FBytes + growth <= FLimits.Bytes;
        });
    }
    if (FStopped)
        return false;
    const bool shrinks = bytes < slot.Bytes;
    FBytes = FBytes - slot.Bytes + bytes;
    slot.Bytes = bytes;
    lock.unlock();
    if (shrinks)
        FRoom.notify_all();
    return true;
}
