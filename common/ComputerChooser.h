// Choosing a computer: the system's computer browse (ServerBrowseDialogA0 of NTLANMAN.DLL)
// where the system has one, else our own chooser (dialog 130 of ComputerChooser.rc, which
// the program's resources must include). Either gives two backslashes and the name.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "Window.h"

namespace win {

// Our own chooser: a name typed or picked from the list (this computer).
class CComputerChooser : public Dialog {
public:
    // "\\NAME" once OK was pressed with a name.
    const std::string& Result() const { return result_; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void Choose();
    std::string result_;
};

// Lets the user choose a computer; `buffer` (of `size` bytes, cleared first) receives what
// the browse left there, "\\NAME" when a computer was chosen. The system's browse is looked
// up in NTLANMAN.DLL until found, then kept for the life of the process. Returns 1 when a
// browse was shown and ended with a choice or not (the buffer tells), 0 when our chooser
// was cancelled, -1 when no browse could be shown (`resources` lacks dialog 130).
int BrowseComputer(HINSTANCE resources, HWND owner, char* buffer, size_t size);

} // namespace win
