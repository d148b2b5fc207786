// The Annalix on-demand tasks that may follow a creation run: asked of the Annalix DLL,
// their outcome logged as a result-log session of its own.
#pragma once

constexpr char kOnDemandApplication[] = "Salvora";
constexpr char kOnDemandAborted[] = "Operation Aborted!";

// Asks Annalix to execute its on-demand tasks; true when it did. The session appends to
// the text file and never goes to Annalix itself; LogOverwrite and LogWriteAnnalix have
// their earlier values again afterwards, whatever happened.
bool RunOnDemandTasks();
