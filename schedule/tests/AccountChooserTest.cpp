#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "AccountChooser.h"
#include "ScheduleServiceLink.h"

using namespace schedule;

namespace {

std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    GetComputerNameA(name, &size);
    return name;
}

// Answers the chooser from a second thread: picks entry `index` (or cancels when -1).
class ChooserAnswer {
public:
    explicit ChooserAnswer(int index)
        : thread_([this, index] {
              for (int i = 0; i < 200 && !stop_; ++i) {
                  HWND dialog = FindWindowA(nullptr, "Select User");
                  if (dialog && IsWindowVisible(dialog)) {
                      if (index < 0) {
                          PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                      } else {
                          SendDlgItemMessageA(dialog, IDC_ACCOUNT_LIST, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
                          PostMessageA(dialog, WM_COMMAND, IDOK, 0);
                      }
                      found_ = true;
                      return;
                  }
                  Sleep(50);
              }
          })
    {
    }
    ~ChooserAnswer()
    {
        stop_ = true;
        thread_.join();
    }
    bool Found() const { return found_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> found_{false};
    std::thread thread_;
};

} // namespace

TEST(AccountChooser, ListsThisComputersAccountsInDomainForm)
{
    std::vector<std::string> accounts = LocalAccounts();
    ASSERT_FALSE(accounts.empty());
    for (const std::string& account : accounts) EXPECT_EQ(account.rfind(ComputerName() + "\\", 0), 0u) << account;
}

TEST(AccountChooser, OkReturnsTheChosenAccountAndCancelReturnsNothing)
{
    std::vector<std::string> accounts = LocalAccounts();
    ASSERT_FALSE(accounts.empty());
    {
        ChooserAnswer answer(0);
        std::optional<std::string> chosen = ChooseLocalAccount(nullptr);
        ASSERT_TRUE(answer.Found());
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(*chosen, accounts[0]);
    }
    {
        ChooserAnswer answer(-1);
        EXPECT_FALSE(ChooseLocalAccount(nullptr).has_value());
        EXPECT_TRUE(answer.Found());
    }
}

TEST(AccountChooser, TheBrowseButtonOffersTheChooserWhenTheSystemPickerIsMissing)
{
    if (HMODULE netui = LoadLibraryA("NETUI2.DLL")) {
        FreeLibrary(netui);
        GTEST_SKIP() << "this system has its own account picker";
    }
    ScheduleServiceLink link;
    ChooserAnswer answer(0);
    std::optional<std::string> chosen = link.BrowseForUser(nullptr);
    ASSERT_TRUE(answer.Found());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, LocalAccounts()[0]);
}
