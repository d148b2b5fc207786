// The run's figures and helper-thread count as the run's parts write them.
#pragma once
#include "CreationRun.h"

RunFigures& MutableRunFigures() noexcept;
void HelperThreadStarted() noexcept;
void HelperThreadEnded() noexcept;
