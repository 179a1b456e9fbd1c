// What a request, a round and a file's transfer end in, named from the first
// request to the end of the job. Only the reporter turns an outcome into what
// the program hears (Reporter::Ended).
#pragma once

enum class Outcome {
    Ok,
    Cancelled,         // ends silently
    StartAgain,        // the kept state is of no use: the next round starts afresh
    UnexpectedStatus,  // heard as a network failure, never tried again
    NetworkFailed,     // a lost connection, a time-out, an unreachable server
    ServerFailed,      // a 5xx or 429 answer
    Forbidden,
    NotFound,
    RangeRefused,
    DiskFull,
    FileLocked,
    CreateFailed,
    WriteFailed,
    Fat32Limit,
    SizeChanged,   // the server's file has another size than the program gave
    FileChanged,   // another version than the kept bytes: the file starts again, once
    VerifyFailed,  // no server gave a copy with the file's hash
};

// A failure that may pass, worth another try.
inline bool IsTransient(Outcome outcome)
{
    return outcome == Outcome::NetworkFailed || outcome == Outcome::ServerFailed;
}
