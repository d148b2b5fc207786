// Real small hives for tests, benchmarks and simulated computers: a key of this process's
// own saved with RegSaveKeyA, so each is in the format the running system saves (regf on
// Windows, Wine's text on Wine), and a whole repair set made of them.
#pragma once
#include <string>

namespace repairset_testing {

// The saved bytes of a small key holding `paddingBytes` bytes of varied binary data. Made
// once per size and process; empty when the save failed (the backup privilege is needed).
const std::string& SmallHive(size_t paddingBytes = 0);

// The compressed file of that hive, as a set holds it.
const std::string& CompressedSmallHive(size_t paddingBytes = 0);

// Writes a whole set into `folder` (which exists): the five compressed hives and setup.log.
// The first hive (in kHiveFiles order) carries `paddingBytes`. False when any write failed.
bool WriteSmallSet(const std::string& folder, size_t paddingBytes = 0);

} // namespace repairset_testing
