// The Options sheet: "Create ERD" (CPageCommon, dialog 105) and "Log" (CPageLog, dialog 509),
// no Apply button. CPageCommon changes the console's settings in memory (they are saved when
// the program ends); CPageLog saves the log settings at once and reloads the result log's.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "HelpSupportPage.h"
#include "OptionsIds.h"
#include "Settings.h"

// The "Terminate Agent after" box and the minutes shown for an ERDtimeout (seconds): a
// positive number of minutes ticks the box, a negative one clears it keeping the number,
// 0 minutes shows as cleared with 20.
struct TimeoutChoice {
    bool terminate = false;
    int32_t minutes = 0; // as shown, always positive
};
TimeoutChoice TimeoutChoiceFromSeconds(int32_t erdTimeout);
// The ERDtimeout for the page's choice, or nothing when the minutes text is not a whole
// number from 1 to 999 (whatever the box says).
std::optional<int32_t> SecondsFromTimeoutChoice(bool terminate, const std::string& minutesText);

class CPageCommon final : public CHelpSupportPage {
public:
    explicit CPageCommon(ConsoleSettings& settings) : CHelpSupportPage(IDD_PAGE_COMMON), settings_(settings) {}

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnApply() override;

private:
    ConsoleSettings& settings_;
};

class CPageLog final : public CHelpSupportPage {
public:
    CPageLog() : CHelpSupportPage(IDD_PAGE_LOG) {}

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnApply() override;

private:
    void EnableFileControls(bool on) const;
    LogSettings log_;
};

// The sheet with both pages over the console's settings.
class OptionsSheet {
public:
    OptionsSheet(HINSTANCE instance, ConsoleSettings& settings = TheConsoleSettings())
        : instance_(instance), common_(settings)
    {
    }
    // Runs the sheet modally; returns when it closes (IDOK or IDCANCEL, -1 when it failed).
    INT_PTR Run(HWND owner);
    // The sheet modeless (for tests driving it); its window or NULL.
    HWND CreateModeless(HWND owner);

private:
    void AddPages(win::PropertySheetDialog& sheet);
    HINSTANCE instance_;
    CPageCommon common_;
    CPageLog log_;
};

// The Options command (32778) of the main window: builds fresh pages, runs the sheet
// modally over the console's settings, returns when it closes.
void RunOptionsCommand(HINSTANCE instance, HWND mainWindow);
