// The reporter alone: what the program hears for each way a job ends, and
// that no event follows a cancel, whether it comes from inside the callback
// or while a report is in it.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "common/win_handles.h"
#include "tkwengine/reporter.h"

namespace {

using Heard = std::vector<std::pair<int32_t, uint64_t>>;

struct Listener {
    Heard heard;
    std::function<void()> inside;  // runs inside the callback

    static HRESULT __stdcall Hear(void* self, int32_t event, uint32_t low, uint32_t high)
    {
        Listener& listener = *static_cast<Listener*>(self);
        listener.heard.push_back({event, (static_cast<uint64_t>(high) << 32) | low});
        if (listener.inside) listener.inside();
        return S_OK;
    }
};

TEST(Reporter, TellsHowAJobEnded)
{
    const uint64_t done = (5ull << 32) + 7;
    const std::pair<Outcome, Heard> rows[] = {
        {Outcome::Ok, {{kEngineFinished, done}}},
        {Outcome::Cancelled, {}},
        {Outcome::StartAgain, {}},
        {Outcome::UnexpectedStatus, {{kEngineError, kErrorNetwork}}},
        {Outcome::NetworkFailed, {{kEngineError, kErrorNetwork}}},
        {Outcome::ServerFailed, {{kEngineError, kErrorServer}}},
        {Outcome::Forbidden, {{kEngineError, kErrorHttp403}}},
        {Outcome::NotFound, {{kEngineError, kErrorHttp404}}},
        {Outcome::RangeRefused, {{kEngineError, kErrorRangeRefused}}},
        {Outcome::DiskFull, {{kEngineError, kErrorDiskFull}}},
        {Outcome::FileLocked, {{kEngineError, kErrorFileLocked}}},
        {Outcome::CreateFailed, {{kEngineError, kErrorCreateFailed}}},
        {Outcome::WriteFailed, {{kEngineError, kErrorWriteFailed}}},
        {Outcome::Fat32Limit, {{kEngineError, kErrorFat32Limit}}},
    };
    for (const auto& [outcome, heard] : rows) {
        Listener listener;
        CancelSignal cancel;
        Reporter(&Listener::Hear, &listener, cancel).Ended(outcome, done);
        EXPECT_EQ(heard, listener.heard) << static_cast<int>(outcome);
    }
}

TEST(Reporter, IsSilentWhileTheSignalIsUp)
{
    Listener listener;
    CancelSignal cancel;
    Reporter reporter(&Listener::Hear, &listener, cancel);
    cancel.Raise();
    reporter.Started(1);
    reporter.Progress(2);
    reporter.Ended(Outcome::Ok, 3);
    cancel.Lower();
    reporter.Progress(4);
    EXPECT_EQ((Heard{{kEngineProgress, 4}}), listener.heard);
}

// The callback cancels: the wait for the report in flight, its own, ends at once.
TEST(Reporter, ACancelFromInsideTheCallbackDoesNotWaitForItself)
{
    Listener listener;
    CancelSignal cancel;
    Reporter reporter(&Listener::Hear, &listener, cancel);
    listener.inside = [&] {
        cancel.Raise();
        reporter.WaitForInFlight();
    };
    reporter.Progress(1);
    reporter.Progress(2);
    EXPECT_EQ((Heard{{kEngineProgress, 1}}), listener.heard);
}

// Cancel holds no lock the callback could need, yet returns only once the
// report already in the callback is over.
TEST(Reporter, ACancelWaitsForTheReportInTheCallback)
{
    Listener listener;
    CancelSignal cancel;
    Reporter reporter(&Listener::Hear, &listener, cancel);
    KernelHandle inside(CreateEventA(nullptr, TRUE, FALSE, nullptr)), leave(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    listener.inside = [&] {
        SetEvent(inside.Get());
        WaitForSingleObject(leave.Get(), INFINITE);
    };
    std::thread job([&] { reporter.Progress(1); });
    WaitForSingleObject(inside.Get(), INFINITE);
    std::atomic<bool> cancelled{false};
    std::thread canceller([&] {
        cancel.Raise();
        reporter.WaitForInFlight();
        cancelled = true;
    });
    Sleep(200);  // ample time for a cancel that does not wait to return
    EXPECT_FALSE(cancelled);
    SetEvent(leave.Get());
    canceller.join();
    job.join();
    EXPECT_TRUE(cancelled);
    reporter.Progress(2);
    EXPECT_EQ((Heard{{kEngineProgress, 1}}), listener.heard);
}

}  // namespace
