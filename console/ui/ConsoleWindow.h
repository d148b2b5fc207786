// The interactive console: its document, main frame and list view made at start-up, the
// list filled from the command line's file or the domain, and the window shown.
#pragma once
#include "MainFrame.h"
#include "SalvoraDoc.h"
#include "ServerListView.h"
#include "Startup.h"

#include <windows.h>

class ConsoleWindow {
public:
    explicit ConsoleWindow(HINSTANCE instance);
    ~ConsoleWindow();
    ConsoleWindow(const ConsoleWindow&) = delete;
    ConsoleWindow& operator=(const ConsoleWindow&) = delete;

    // Creates and shows the main window; opens `listFile` through the document, or (when
    // empty) refreshes the list from the domain. False when the window cannot be made.
    bool Open(const std::string& listFile);

    CSalvoraDoc& Document() noexcept { return document_; }
    CServerListView& View() noexcept { return view_; }
    CMainFrame& Frame() noexcept { return frame_; }

private:
    static void UpdateViews(void* context);

    HINSTANCE instance_;
    CSalvoraDoc document_;
    CServerListView view_;
    win::CommandTarget application_; // the application object's commands
    CMainFrame frame_;
};

// The interactive start of the application object (false, nothing shown, when the window
// cannot be made) and the message loop that follows it.
bool StartConsoleWindow(CSalvoraApp& app);
int RunConsoleWindow();
