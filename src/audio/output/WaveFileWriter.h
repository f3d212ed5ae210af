#pragma once
// Writes PCM bytes as a RIFF WAVE file (plain or extensible "fmt " chunk, as
// the format says). Returns false when the file cannot be written.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/output/SoundSystem.h"

bool WriteWaveFile(const std::string& path, const TWaveFormat& format, const std::vector<uint8_t>& data);
