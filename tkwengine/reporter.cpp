#include "tkwengine/reporter.h"

// The one place an outcome becomes what the program hears.
void Reporter::Ended(Outcome outcome, uint64_t done)
{
    switch (outcome) {
    case Outcome::Ok: return Send(kEngineFinished, done);
    case Outcome::Cancelled:
    case Outcome::StartAgain: return;  // silent; no job ends in a restart
    case Outcome::UnexpectedStatus:
    case Outcome::NetworkFailed: return Send(kEngineError, kErrorNetwork);
    case Outcome::ServerFailed: return Send(kEngineError, kErrorServer);
    case Outcome::Forbidden: return Send(kEngineError, kErrorHttp403);
    case Outcome::NotFound: return Send(kEngineError, kErrorHttp404);
    case Outcome::RangeRefused: return Send(kEngineError, kErrorRangeRefused);
    case Outcome::DiskFull: return Send(kEngineError, kErrorDiskFull);
    case Outcome::FileLocked: return Send(kEngineError, kErrorFileLocked);
    case Outcome::CreateFailed: return Send(kEngineError, kErrorCreateFailed);
    case Outcome::WriteFailed: return Send(kEngineError, kErrorWriteFailed);
    case Outcome::Fat32Limit: return Send(kEngineError, kErrorFat32Limit);
    case Outcome::SizeChanged:
    case Outcome::FileChanged: return Send(kEngineError, kErrorServerChanged);
    case Outcome::VerifyFailed: return Send(kEngineError, kErrorVerifyFailed);
    }
}

void Reporter::Send(int32_t event, uint64_t value)
{
    {
        Locked locked(lock_);
        if (cancel_.Raised()) return;
        reporting_ = GetCurrentThreadId();
    }
    callback_(context_, event, static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32));
    {
        Locked locked(lock_);
        reporting_ = kNobody;
    }
    idle_.WakeAll();
}

void Reporter::WaitForInFlight()
{
    Locked locked(lock_);
    while (reporting_ != kNobody && reporting_ != GetCurrentThreadId()) locked.Wait(idle_, INFINITE);
}
