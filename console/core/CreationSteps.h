// The steps of one computer's job, each run on one thread at a time: the deployment, the
// agent's outcome record taken into the entry, the fetch of the repair files and the
// finishing steps on the target.
#pragma once
#include "CreationJob.h"

#include <cstdint>

void SetOutcome(ComputerEntry& entry, uint32_t result, uint32_t errorCode);

// Deploys one job's agent. True: the agent runs and its pipe is open. False: the job is
// finished on the target (its result says why) and only needs counting.
bool DeployStep(CreationJob& job);

// Reads what the agent's outcome record says into the entry, once its read has completed.
// True when the repair files are to be fetched (success, or AlwaysCopyFiles on).
bool TakeOutcome(CreationJob& job, bool alwaysCopy);

// The fetch step: the repair files received into the job's output folder (made when
// missing), then the finishing steps. True when the agent's listing ended with <Finish>.
bool FetchStep(CreationJob& job);

// The job's finishing steps on the target: pipe closed, agent stopped and taken off.
void FinishOnTarget(CreationJob& job);
