// The suite's compiled HTML Help (.chm): topics by context id, the contents, and popup texts.
// The viewer (hhctrl.ocx) is loaded when first needed, so a computer without it still runs
// the programs. A context id's topic is named in the help file's "contexts.txt" ("id=topic.htm"
// lines) and opened by that name. Popup texts live in the help file as "popups.txt" (".topic NAME" sections)
// with their numbers in "popups.h" ("#define NAME number"); where the viewer cannot show them
// as popups, a popup window of our own shows the same text.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace help {

// Opens `file` at the topic mapped to `contextId`; the viewer's window, or NULL.
HWND ShowTopic(HWND owner, const std::string& file, DWORD contextId);
// Opens `file` at its contents; the viewer's window, or NULL.
HWND ShowContents(HWND owner, const std::string& file);
// Shows popup text `contextId` of `file` with its top left corner near `at` (screen
// coordinates). The popup window, or NULL when there is no such text.
HWND ShowPopup(HWND owner, const std::string& file, DWORD contextId, POINT at);
// Closes every help window the process opened.
void CloseAll();

// The topic (its name inside the file) mapped to `contextId` in the help file's context map;
// false when the file, its map or the id is missing.
bool ReadContextTopic(const std::string& file, DWORD contextId, std::string& topic);
// Every context id of the help file's map; empty when the file or its map is missing.
std::vector<DWORD> ReadContextIds(const std::string& file);
// Looks `contextId` up in the context map's text.
bool FindContextTopic(const std::string& contexts, DWORD contextId, std::string& topic);

// Reads popup text `contextId` from the help file; false when the file or the text is missing.
bool ReadPopupText(const std::string& file, DWORD contextId, std::string& text);
// Looks `contextId` up in the popup sources as the help file holds them.
bool FindPopupText(const std::string& header, const std::string& texts, DWORD contextId, std::string& text);

// Our own popup: `text` in a bordered window at `at`, kept on the screen, gone at the next
// click or key or when it loses the focus. One at a time: a new popup replaces the old one.
HWND ShowTextPopup(HWND owner, const std::string& text, POINT at);
// The popup window showing now, or NULL.
HWND CurrentTextPopup();

} // namespace help
