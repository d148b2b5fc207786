// The framework pieces every window program can use: the per-user profile and the routing
// of commands and their update rules.
#include <gtest/gtest.h>

#include "Frame.h"
#include "Profile.h"

#include <string>
#include <vector>

namespace {

constexpr char kApplication[] = "Framework Tests";

TEST(Profile, RoundTripAndFallbacks)
{
    win::SetProfileKey("Ostrel", kApplication);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Ostrel\\Framework Tests");
    EXPECT_EQ(win::ProfileKeyPath(), "Software\\Ostrel\\Framework Tests");
    EXPECT_EQ(win::GetProfileString("Section", "Text", "none"), "none");
    EXPECT_EQ(win::GetProfileInt("Section", "Number", 7), 7);

    ASSERT_TRUE(win::WriteProfileString("Section", "Text", "1 2 3 4"));
    ASSERT_TRUE(win::WriteProfileInt("Section", "Number", -3));
    EXPECT_EQ(win::GetProfileString("Section", "Text", ""), "1 2 3 4");
    EXPECT_EQ(win::GetProfileInt("Section", "Number", 0), -3);
    // A value of the other type reads as absent.
    EXPECT_EQ(win::GetProfileInt("Section", "Text", 5), 5);
    EXPECT_EQ(win::GetProfileString("Section", "Number", "x"), "x");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Ostrel\\Framework Tests");
}

struct Recorder : win::CommandTarget {
    std::vector<std::string>* log = nullptr;
    Recorder(std::vector<std::string>& record, const char* name, UINT id)
    {
        log = &record;
        MapCommand(id, [this, name] { log->push_back(name); });
    }
};

TEST(CommandRouting, FirstHandlerRunsAndRulesDecideTheState)
{
    std::vector<std::string> log;
    Recorder view(log, "view", 10);
    Recorder document(log, "document", 10);
    document.MapCommand(20, [&] { log.push_back("document 20"); });
    Recorder frame(log, "frame", 30);
    std::vector<const win::CommandTarget*> chain{&view, &document, nullptr, &frame};

    EXPECT_TRUE(win::RouteCommand(chain, 10));
    EXPECT_TRUE(win::RouteCommand(chain, 20));
    EXPECT_FALSE(win::RouteCommand(chain, 99));
    EXPECT_EQ(log, (std::vector<std::string>{"view", "document 20"}));

    // A handler anywhere enables; no handler greys; a rule earlier in the chain decides.
    EXPECT_TRUE(win::RouteUpdate(chain, 30).enabled);
    EXPECT_FALSE(win::RouteUpdate(chain, 99).enabled);
    view.MapUpdate(20, [](win::CommandState& state) {
        state.enabled = false;
        state.radio = true;
    });
    win::CommandState state = win::RouteUpdate(chain, 20);
    EXPECT_FALSE(state.enabled);
    EXPECT_TRUE(state.radio);
}

struct CountingView : win::View {
    int updates = 0;
    bool CreateView(HINSTANCE, HWND) override { return true; }
    HWND Handle() const override { return nullptr; }
    void OnUpdate() override { ++updates; }
};

TEST(Document, UpdatesEveryViewButTheSenderAndTitlesTheFrame)
{
    win::Document document;
    CountingView first, second;
    document.AddView(&first);
    document.AddView(&second);
    document.AddView(&first);
    document.UpdateAllViews(&second);
    EXPECT_EQ(first.updates, 1);
    EXPECT_EQ(second.updates, 0);
    EXPECT_EQ(first.GetDocument(), &document);
    document.RemoveView(&first);
    EXPECT_EQ(first.GetDocument(), nullptr);

    int titles = 0;
    document.titleChanged = [&] { ++titles; };
    document.SetTitle("SALES");
    EXPECT_EQ(titles, 1);
    EXPECT_EQ(win::FrameTitle("App", document.Title(), "Untitled"), "App - SALES");
    EXPECT_EQ(win::FrameTitle("App", "", "Untitled"), "App");
    EXPECT_EQ(win::FrameTitle("App", "Untitled", "Untitled"), "App");
}

} // namespace
