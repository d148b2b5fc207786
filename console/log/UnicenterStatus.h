// The summary of a creation run for Computer Associates' Unicenter TNG: TNGAgent.ini in the
// program folder, rewritten from scratch, and a run counter in the settings key. Nothing
// is written when Unicenter TNG is not installed.
#pragma once
#include "ComputerList.h"

#include <string>

constexpr char kUnicenterKey[] =
    "SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies\\Agent Common Services";
constexpr char kUnicenterStampValue[] = "SalvoraUnicenterStamp";
constexpr char kUnicenterFileName[] = "TNGAgent.ini";

void WriteUnicenterStatus(const ComputerList& list, bool cancelled);

// The ErrorDescription text of one failed computer: its result's message, " - " and the
// error's text when there is a code, always followed by " (code)"; at most 259 characters.
std::string UnicenterErrorText(uint32_t result, uint32_t errorCode);
