#include "wave_file.h"

#include <fstream>

namespace capturedemo {
namespace {

void put32(std::ofstream& out, uint32_t value)
{
    const char bytes[] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                          static_cast<char>(value >> 24)};
    out.write(bytes, sizeof(bytes));
}

void put16(std::ofstream& out, uint16_t value)
{
    const char bytes[] = {static_cast<char>(value), static_cast<char>(value >> 8)};
    out.write(bytes, sizeof(bytes));
}

} // namespace

bool writeWave(const std::string& path, const WAVEFORMATEX& format, const std::vector<uint8_t>& samples)
{
    std::ofstream out(path, std::ios::binary);
    const auto dataSize = static_cast<uint32_t>(samples.size());
    constexpr uint32_t kFormatSize = 16; // a PCMWAVEFORMAT: no cbSize
    out.write("RIFF", 4);
    put32(out, 4 + (8 + kFormatSize) + (8 + dataSize));
    out.write("WAVEfmt ", 8);
    put32(out, kFormatSize);
    put16(out, format.wFormatTag);
    put16(out, format.nChannels);
    put32(out, format.nSamplesPerSec);
    put32(out, format.nAvgBytesPerSec);
    put16(out, format.nBlockAlign);
    put16(out, format.wBitsPerSample);
    out.write("data", 4);
    put32(out, dataSize);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
    return static_cast<bool>(out);
}

} // namespace capturedemo
