// Linked into every test program: one that crashes fails. Left to Wine's
// debugger, a crashed test program may end with exit code 0 (after the
// picture tests had run, config_tests did) and CTest would count it as
// passed.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI EndCrashedProgram(EXCEPTION_POINTERS* exception)
{
    fprintf(stderr, "test program crashed: exception %08lx at %p\n", exception->ExceptionRecord->ExceptionCode,
            exception->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Before main: a crash in a test's static set-up counts too.
const LPTOP_LEVEL_EXCEPTION_FILTER kEarlierFilter = SetUnhandledExceptionFilter(EndCrashedProgram);

}  // namespace
