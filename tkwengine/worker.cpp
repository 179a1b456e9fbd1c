#include "tkwengine/worker.h"

#include "tkwengine/ahead.h"
#include "tkwengine/reporter.h"
#include "tkwengine/transfer.h"

bool Worker::Start(const Job& job)
{
    job_ = job;
    busy_ = true;
    if (thread_.Start<Worker, &Worker::Run>(this)) return true;
    busy_ = false;
    return false;
}

void Worker::Run()
{
    // A file fetched ahead is whole in its side files, or waited for.
    if (job_.ahead == FetchedAhead::Running && links_.ahead)
        job_.trustRecord = links_.ahead->WaitFor(job_.localPath, links_.reporter);
    else if (job_.ahead == FetchedAhead::Whole)
        links_.reporter.Started(job_.presentBeforeAhead);
    job_.startReported = job_.ahead != FetchedAhead::Nothing;
    uint64_t done = 0;
    Outcome outcome = Transfer(job_, links_, done);
    // The program starts the next job as soon as it hears the last event,
    // before this thread has left; Start then waits for it.
    busy_ = false;
    links_.reporter.Ended(outcome, done);
}
