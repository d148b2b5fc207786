#include "ConsoleWindow.h"

#include "CompanionTools.h"
#include "ConsoleStrings.h"
#include "DomainSelection.h"
#include "HelpViewer.h"
#include "ShowHelp.h"
#include "Enumeration.h"
#include "Messages.h"
#include "OstrelVersion.h"
#include "ResultLog.h"
#include "Settings.h"
#include "UiResource.h"

#include <memory>

namespace {

std::unique_ptr<ConsoleWindow> g_console;

std::string ApplicationTitle()
{
    std::string title;
    if (!LoadConsoleString(IDS_APP_TITLE, title)) title = TEXT_APP_TITLE;
    return title;
}

} // namespace

ConsoleWindow::ConsoleWindow(HINSTANCE instance) : instance_(instance), document_(instance)
{
    application_.MapCommand(ID_APP_ABOUT, [this] {
        std::string title = ApplicationTitle();
        const std::string text = title + " " OSTREL_VERSION_TEXT
                                         "\nEmergency repair data for the computers of a network.\n" OSTREL_COPYRIGHT;
        MessageBoxA(frame_.Handle(), text.c_str(),
                    ("About " + title).c_str(), MB_OK | MB_ICONINFORMATION);
    });
    application_.MapCommand(kCommandApplyErd, [this] {
        std::string name;
        bool selected = view_.FirstSelectedName(name);
        ApplyErd(frame_.Handle(), TheConsoleSettings(), selected ? name.c_str() : nullptr);
    });
    application_.MapCommand(kCommandOpenAnnalix, [this] { OpenAnnalix(frame_.Handle(), TheConsoleSettings()); });
    application_.MapCommand(kCommandScheduleWizard, [this] {
        StartScheduleWizard(frame_.Handle(), TheConsoleSettings(), TheResultLog().Settings(), CurrentListFilePath());
    });
    application_.MapCommand(kCommandViewLog, [] { ViewLogFile(TheConsoleSettings()); });
    frame_.SetApplicationTarget(&application_);
}

ConsoleWindow::~ConsoleWindow()
{
    SetComputerListUi(ComputerListUi{});
}

void ConsoleWindow::UpdateViews(void* context)
{
    static_cast<ConsoleWindow*>(context)->document_.UpdateAllViews();
}

bool ConsoleWindow::Open(const std::string& listFile)
{
    std::string title = ApplicationTitle();
    if (!frame_.CreateFrame(instance_, IDR_MAINFRAME, title.c_str(), document_, view_)) return false;
    document_.SetMainWindow(frame_.Handle());
    ComputerListUi ui;
    ui.owner = frame_.Handle();
    ui.resources = instance_;
    ui.updateViews = &ConsoleWindow::UpdateViews;
    ui.context = this;
    SetComputerListUi(ui);

    frame_.ActivateFrame();
    view_.OnUpdate();
    if (listFile.empty())
        SendMessageA(frame_.Handle(), WM_COMMAND, MAKEWPARAM(ID_FILE_REFRESH, 0), 0);
    else
        document_.OpenDocumentFile(listFile.c_str()); // an unreadable file leaves the list empty
    ShowWindow(frame_.Handle(), SW_SHOW);
    UpdateWindow(frame_.Handle());
    frame_.UpdateCommandUi();
    return true;
}

bool StartConsoleWindow(CSalvoraApp& app)
{
    InstallCreationDialogHelp();
    SetSelectDomainHelpHandler([](HWND dialog, DWORD context) { ShowHelp(context, kHelpContext, dialog); });
    g_console = std::make_unique<ConsoleWindow>(GetModuleHandleA(nullptr));
    // A window that cannot be made ends the start quietly, as the framework's own shell
    // command does; string 20 is for a failure of the framework itself (InitInstance).
    if (!g_console->Open(app.Options().importFile)) {
        g_console.reset();
        return false;
    }
    return true;
}

int RunConsoleWindow()
{
    if (!g_console) return 0;
    int result = g_console->Frame().Run();
    g_console.reset();
    help::CloseAll();
    return result;
}
