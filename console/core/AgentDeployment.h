// Putting the agent on a target computer as a temporary service and taking it off again,
// through the target's service control manager, its administrative share and its pipe.
#pragma once
#include "CreationJob.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Platforms of DetectPlatform.
constexpr uint16_t kPlatformIntel = 0;
constexpr uint16_t kPlatformAlpha = 2;
constexpr uint16_t kPlatformUndetermined = 0xFFFF;

constexpr DWORD kServiceStartLimit = 120000; // ms until a started agent must run

// Copies, registers and starts the agent on the entry's computer and opens its pipe into
// `channel`. False: the entry's result and errorCode tell why; whatever was opened stays
// in the entry for the job's finishing steps. `answered`, when given, is set to 1 as soon as
// the target's service control manager has answered.
bool DeployAgent(ComputerEntry& entry, PipeChannel& channel, volatile LONG* answered = nullptr);

// Starts the agent service with its four arguments and waits until it runs.
bool StartAgentService(SC_HANDLE service);
// The wait of StartAgentService: reads the service's status through `query` (false: the read
// failed, last error kept) until it runs or stops, or until kServiceStartLimit ms of the tick
// counter `ticks` have passed (ERROR_SERVICE_REQUEST_TIMEOUT), the counter's wrap included.
bool WaitForServiceStart(const std::function<bool(SERVICE_STATUS&)>& query, DWORD(WINAPI* ticks)());
// True when the service reached the stopped state.
bool StopAgentService(SC_HANDLE service);
// Stops the service if it is open, then closes and clears both service handles.
void CloseAgentService(ComputerEntry& entry);
// Unless LeaveAgent is on, deletes the agent file copied to the target (failures ignored).
void RemoveAgentFile(const ComputerEntry& entry);

// The processor of an image file from its headers: Intel family (x86 and x64) or DEC
// Alpha. False with ERROR_APP_WRONG_OS for any other image, or the open's error.
bool DetectPlatform(const char* path, uint16_t& platform);
// The platform of a PE machine field; kPlatformUndetermined when it is neither.
uint16_t PlatformOfMachine(uint16_t machine) noexcept;

// The start arguments from the console's settings: the time limit, AlwaysCopyFiles,
// CheckRegQuota and SaveHivesWithoutRdisk (an older agent ignores the fourth).
constexpr DWORD kAgentArgumentCount = 4;
void AgentStartArguments(std::string& timeLimit, std::string& alwaysCopy, std::string& checkQuota,
                         std::string& withoutRdisk);
// Where the agent file goes for a computer: the local system folder for the console's own
// computer, the target's administrative share otherwise (with a trailing backslash).
std::string AgentDestinationFolder(const char* computerName);
