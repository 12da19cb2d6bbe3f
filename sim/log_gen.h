#pragma once
// A plausible GPS log for the simulated tracker: a moving track in 20-byte records.
#include <cstdint>
#include <string>
#include <vector>

namespace zd573::sim {

// The same (records, seed) always gives the same bytes.
std::vector<std::uint8_t> GenerateLog(int records, unsigned seed);

// Writes a raw log through a temporary file; never leaves a half-written file at `path`.
bool WriteRawLog(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error);

// Reads a raw log; its size must be a whole number of records.
bool ReadRawLog(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error);

}  // namespace zd573::sim
