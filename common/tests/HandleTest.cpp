#include <gtest/gtest.h>

#include "Handle.h"

TEST(Handle, ClosesOnScopeExitAndKeepsTheCallersLastError)
{
    HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        win::Handle owner(raw);
        EXPECT_TRUE(owner.IsValid());
        SetLastError(1234);
    }
    EXPECT_EQ(GetLastError(), 1234u);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));
}

TEST(Handle, TreatsNullAndInvalidValueAsEmptyAndMovesOwnership)
{
    win::Handle none;
    EXPECT_FALSE(none.IsValid());
    win::Handle null(nullptr);
    EXPECT_FALSE(null.IsValid());

    win::Handle first(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE raw = first.Get();
    win::Handle second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(second.Get(), raw);
    second.Reset();
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags));
}
