// The confirmation before a restore: the hives about to be restored with their times, the
// computer the saved data came from and the one it goes to, and a guard against foreign or
// old data that the user must tick and then answer for.
#pragma once
#include <windows.h>
#include <string>

#include "RestoreEngine.h"
#include "Window.h"

namespace restavo {

inline constexpr const char* kOldQuestion = "The hive(s) was created more then 30 days ago.\nContinue anyway ?\n";
inline constexpr const char* kForeignQuestion =
    "The hive(s) was created on computer %s.\nBut you going to apply it on computer %s.\nContinue anyway ?\n";
inline constexpr const char* kMixedQuestion =
    "The selected hives were saved more than two hours apart,\nso they may not come from one emergency repair run.\n"
    "Continue anyway ?\n";

// What the confirmation shows.
struct ConfirmationFacts {
    std::string source;      // the saved data's computer, "N/A" when unknown
    std::string destination; // the computer to restore
    bool different = false;  // the two computers differ (an unknown source differs)
    bool old = false;        // the saved data are 31 days old or more
    bool mixed = false;      // the selected hives were saved more than two hours apart
    HiveSelection selection{};
    HiveTimes times{};
};

// Gathers the facts from the saved data in `folder`.
ConfirmationFacts GatherConfirmationFacts(const std::string& targetName, const HiveSelection& selection,
                                          const char* folder, const HiveTimes& times);

class CConfirmDialog : public win::Dialog {
public:
    explicit CConfirmDialog(const ConfirmationFacts& facts) : facts_(facts) {}
    // 1 to go ahead, 0 to give up (also kept here when the dialog runs modeless).
    INT_PTR Result() const { return result_; }
    // The icon resource shown at the moment.
    int StateIcon() const { return stateIcon_; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void SetStateIcon(int id);
    void Finish(INT_PTR result);
    ConfirmationFacts facts_;
    INT_PTR result_ = 0;
    int stateIcon_ = 0;
};

// Shows the confirmation modally: 1 to go ahead, 0 to give up.
int ConfirmRestore(HWND owner, const std::string& targetName, const HiveSelection& selection, const char* folder,
                   const HiveTimes& times);

// Moves a window to the middle of the work area in the program's manner.
void PlaceWindow(HWND window);

} // namespace restavo
