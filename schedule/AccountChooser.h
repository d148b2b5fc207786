// A small account chooser of our own, offered by the account browser when the system's
// picker (NETUI2.DLL) is not there: it lists this computer's accounts as COMPUTER\user.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace schedule {

// This computer's user accounts, each as COMPUTER\user, in the order the system gives them.
std::vector<std::string> LocalAccounts();

// Control identifiers of the chooser's dialog.
enum : int { IDC_ACCOUNT_LIST = 100 };

// Shows the chooser captioned "Select User" over `owner`; the chosen account, or nothing
// when the user cancelled or chose nothing.
std::optional<std::string> ChooseLocalAccount(HWND owner);

} // namespace schedule
