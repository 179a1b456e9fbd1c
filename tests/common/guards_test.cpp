#include <gtest/gtest.h>
#include <windows.h>

#include "common/gdi_scope.h"
#include "common/win_handles.h"

namespace {

bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(Guards, CloseWhatTheyHoldOnEveryPath)
{
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        KernelHandle event(first);
        event.Reset(second);  // the first one goes now
        EXPECT_FALSE(IsOpen(first));
        EXPECT_TRUE(IsOpen(second));
    }
    EXPECT_FALSE(IsOpen(second));

    KernelHandle closed(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EXPECT_TRUE(closed.Close());
    EXPECT_FALSE(closed.Close());  // nothing left to close
    EXPECT_FALSE(KernelHandle().Valid());

    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    { const GdiObject<HBRUSH> owned(brush); }
    EXPECT_EQ(0u, GetObjectType(brush));
}

}  // namespace
