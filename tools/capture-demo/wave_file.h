// A RIFF WAVE file of PCM samples.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>
#include <string>
#include <vector>

namespace capturedemo {

// Writes `samples` in `format` to `path`; false when the file cannot be written.
bool writeWave(const std::string& path, const WAVEFORMATEX& format, const std::vector<uint8_t>& samples);

} // namespace capturedemo
