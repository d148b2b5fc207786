// Several C++ hooks on one window: the newest sees a message first, each passes it on, and
// the window's own procedure comes last.
#include <gtest/gtest.h>

#include "SubclassWnd.h"

#include <string>
#include <vector>

namespace {

constexpr UINT kProbe = WM_APP + 7;
using Seen = std::vector<std::string>;
Seen g_seen;

LRESULT CALLBACK OwnProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kProbe) {
        g_seen.push_back("window:" + std::to_string(wParam));
        return 100;
    }
    if (message == WM_NCDESTROY) g_seen.push_back("window:ncdestroy");
    return DefWindowProcA(window, message, wParam, lParam);
}

// Records the probe, passes it on with wParam raised by one, and adds one to the answer.
class Recorder : public CSubclassWnd {
public:
    explicit Recorder(const char* name) : name_(name) {}

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_NCDESTROY) g_seen.push_back(name_ + ":ncdestroy");
        if (message != kProbe) return Default();
        g_seen.push_back(name_ + ":" + std::to_string(wParam));
        return Default(message, wParam + 1, lParam) + 1;
    }

private:
    std::string name_;
};

HWND MakeWindow()
{
    WNDCLASSA type{};
    type.lpfnWndProc = &OwnProcedure;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "OstrelSubclassProbe";
    RegisterClassA(&type);
    HWND window = CreateWindowExA(0, type.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  type.hInstance, nullptr);
    EXPECT_NE(window, nullptr);
    return window;
}

Seen Probe(HWND window)
{
    g_seen.clear();
    LRESULT answer = SendMessageA(window, kProbe, 0, 0);
    g_seen.push_back("answer:" + std::to_string(answer));
    return g_seen;
}

TEST(SubclassChain, NewestFirstUnhookMiddleAndObjectGoingLastRestoresTheProcedure)
{
    HWND window = MakeWindow();
    LONG_PTR own = GetWindowLongPtrA(window, GWLP_WNDPROC);
    Recorder second("second"), third("third");
    {
        Recorder first("first");
        ASSERT_TRUE(first.HookWindow(window));
        ASSERT_TRUE(second.HookWindow(window));
        EXPECT_EQ(Probe(window), (Seen{"second:0", "first:1", "window:2", "answer:102"}));

        ASSERT_TRUE(third.HookWindow(window));
        second.HookWindow(nullptr); // the middle one leaves
        EXPECT_EQ(second.Hooked(), nullptr);
        EXPECT_EQ(Probe(window), (Seen{"third:0", "first:1", "window:2", "answer:102"}));
        third.HookWindow(nullptr);
        EXPECT_EQ(Probe(window), (Seen{"first:0", "window:1", "answer:101"}));
    } // the last hook's object goes before the window
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), own);
    EXPECT_EQ(Probe(window), (Seen{"window:0", "answer:100"}));
    DestroyWindow(window);
}

TEST(SubclassChain, DestroyingTheWindowRemovesEveryHook)
{
    HWND window = MakeWindow();
    Recorder first("first"), second("second");
    ASSERT_TRUE(first.HookWindow(window));
    ASSERT_TRUE(second.HookWindow(window));
    g_seen.clear();
    DestroyWindow(window);
    // The hooks are gone before the window's own procedure sees the end.
    EXPECT_EQ(g_seen, (Seen{"window:ncdestroy"}));
    EXPECT_EQ(first.Hooked(), nullptr);
    EXPECT_EQ(second.Hooked(), nullptr);

    // The objects can hook a new window with the same handle value without stale links.
    HWND again = MakeWindow();
    ASSERT_TRUE(second.HookWindow(again));
    EXPECT_EQ(Probe(again), (Seen{"second:0", "window:1", "answer:101"}));
    DestroyWindow(again);
}

} // namespace
