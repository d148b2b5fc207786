// A service of our own for the tests (schedule_probe_service.exe), and a start that
// waits out a busy Wine session.
#pragma once
#include <windows.h>

#include <string>

#include "BoxRecorder.h"
#include "Handle.h"
#include "ScheduleServiceLink.h"

// A service of our own for one test, removed at the end.
class ProbeService {
public:
    ProbeService(const char* name, const char* arguments, const char* account = nullptr);
    ~ProbeService();
    bool Created() const { return service_.IsValid(); }
    SC_HANDLE Handle() const { return service_.Get(); }

private:
    std::string name_;
    win::ServiceHandle service_;
};

bool StartRetrying(schedule::ScheduleServiceLink& link, BoxRecorder& boxes);

// Starts and stops a probe service once, so that the first service process of a fresh
// Wine session has been made before a test depends on a quick start.
void WarmUpServices();

// Waits (at most a minute) until the Wine prefix is a minute old: a start of Wine's Schedule
// service in the first half minute of a fresh prefix times out and leaves its host process
// unable to start it for minutes afterwards.
void WaitForSettledSession();
