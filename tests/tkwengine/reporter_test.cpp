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

class ReporterTest : public ::testing::Test {
protected:
    static HRESULT __stdcall Hear(void* self, int32_t event, uint32_t low, uint32_t high)
    {
        ReporterTest& test = *static_cast<ReporterTest*>(self);
        test.heard_.push_back({event, (static_cast<uint64_t>(high) << 32) | low});
        if (test.inside_) test.inside_();
        return S_OK;
    }

    Heard heard_;
    std::function<void()> inside_;  // runs inside the callback
    CancelSignal cancel_;
    Reporter reporter_{&Hear, this, cancel_};
};

TEST_F(ReporterTest, TellsHowAJobEnded)
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
        {Outcome::SizeChanged, {{kEngineError, kErrorServerChanged}}},
        {Outcome::FileChanged, {{kEngineError, kErrorServerChanged}}},
        {Outcome::VerifyFailed, {{kEngineError, kErrorVerifyFailed}}},
    };
    for (const auto& [outcome, heard] : rows) {
        heard_.clear();
        reporter_.Ended(outcome, done);
        EXPECT_EQ(heard, heard_) << static_cast<int>(outcome);
    }
}

TEST_F(ReporterTest, IsSilentWhileTheSignalIsUp)
{
    cancel_.Raise();
    reporter_.Started(1);
    reporter_.Progress(2);
    reporter_.Ended(Outcome::Ok, 3);
    cancel_.Lower();
    reporter_.Progress(4);
    EXPECT_EQ((Heard{{kEngineProgress, 4}}), heard_);
}

// The callback cancels: the wait for the report in the callback, its own, ends at once.
TEST_F(ReporterTest, ACancelFromInsideTheCallbackDoesNotWaitForItself)
{
    inside_ = [this] {
        cancel_.Raise();
        reporter_.WaitForInFlight();
    };
    reporter_.Progress(1);
    reporter_.Progress(2);
    EXPECT_EQ((Heard{{kEngineProgress, 1}}), heard_);
}

// Cancel holds no lock the callback could need, yet returns only once the
// report already in the callback is over.
TEST_F(ReporterTest, ACancelWaitsForTheReportInTheCallback)
{
    KernelHandle inside(CreateEventA(nullptr, TRUE, FALSE, nullptr)), leave(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    inside_ = [&] { SignalObjectAndWait(inside.Get(), leave.Get(), INFINITE, FALSE); };
    std::thread job([this] { reporter_.Progress(1); });
    WaitForSingleObject(inside.Get(), INFINITE);
    std::atomic<bool> cancelled{false};
    std::thread canceller([&] {
        cancel_.Raise();
        reporter_.WaitForInFlight();
        cancelled = true;
    });
    Sleep(200);  // ample time for a cancel that does not wait to return
    EXPECT_FALSE(cancelled);
    SetEvent(leave.Get());
    canceller.join();
    job.join();
    EXPECT_TRUE(cancelled);
    reporter_.Progress(2);
    EXPECT_EQ((Heard{{kEngineProgress, 1}}), heard_);
}

}  // namespace
