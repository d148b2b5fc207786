// Choosing what the console lists: a domain from the network browser's domains (or typed),
// and one more computer through the computer browse.
#pragma once
#include "ComputerList.h"

#include <windows.h>

#include <cstddef>
#include <vector>

constexpr DWORD kDomainEnumType = 0x80000000; // SV_TYPE_DOMAIN_ENUM
constexpr DWORD kSelectDomainHelpContext = 1010;
constexpr size_t kDomainTypedLimit = 99; // characters read from the name box

// The domains of the last EnumerateDomains, in the browser's order (only the names count).
const std::vector<ComputerEntryPtr>& DomainList();
// Rebuilds DomainList from the network browser; empty when the browser fails.
void EnumerateDomains();

// Runs the Select Domain dialog (15003) modally. Returns 1 when a domain was chosen, and
// then `buffer` (room for `maxLength` characters and a terminator) holds its first
// `maxLength` characters; otherwise the dialog's end code (0 Cancel, -1 the dialog could
// not be made) with `buffer` untouched. The dialog's template and picture come from the
// program's own module.
INT_PTR SelectDomainDialog(HWND owner, char* buffer, size_t maxLength);

// The Help button of the dialog asks this handler for context 1010 of the console's help
// (nothing is shown while none is set).
using DomainHelpHandler = void (*)(HWND dialog, DWORD context);
void SetSelectDomainHelpHandler(DomainHelpHandler handler);

// Add Computer: lets the user choose a computer (the system's browse, else our chooser),
// looks it up and appends it to the computer list. 1 when a computer was appended, else 0.
// The same computer may be added twice.
int BrowseForComputer(HWND owner);
