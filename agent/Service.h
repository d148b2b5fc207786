// Vantoro's service side: the dispatcher entry, the service entry, the control handler,
// status reports and error events.
#pragma once
#include <windows.h>

constexpr char kAgentServiceName[] = "Vantoro";

void WINAPI ServiceMain(DWORD argc, char** argv);
void WINAPI ServiceCtrlHandler(DWORD control);
bool ReportStatus(DWORD state, DWORD exitCode, DWORD waitHint);
// Reports the last Windows error to the application event log under the source
// "Vantoro": "Vantoro error: <code>" and `context`.
void LogAgentError(const char* context);
