#include "content_sources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace capdev {
namespace {

// A DV frame is made of DIF sequences of 150 blocks of 80 bytes; blocks 1 and
// 2 of each sequence are subcode, each holding six 8-byte sync blocks: a
// 3-byte id, then a 5-byte pack whose first byte names it.
constexpr size_t kDifBlock = 80;
constexpr size_t kDifSequence = 150 * kDifBlock;
constexpr size_t kSyncBlock = 8;
constexpr size_t kSyncBlockId = 3;
constexpr uint8_t kTimecodePack = 0x13;

DWORD packedTimecode(const uint8_t* pack)
{
    // Flag bits share the bytes with the BCD digits: keep only the digits.
    const DWORD frames = pack[1] & 0x3F, seconds = pack[2] & 0x7F, minutes = pack[3] & 0x7F, hours = pack[4] & 0x3F;
    return hours << 24 | minutes << 16 | seconds << 8 | frames;
}

} // namespace

DVClip::DVClip(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read the DV clip " + path);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (frameCount() == 0)
        throw std::runtime_error("the DV clip " + path + " holds no whole PAL frame");
}

const uint8_t* DVClip::frame(uint32_t sequence) const
{
    return bytes.data() + (sequence % frameCount()) * kDV625FrameSize;
}

std::optional<DWORD> dvTimecode(const uint8_t* frame, size_t size)
{
    for (size_t sequence = 0; sequence + kDifSequence <= size; sequence += kDifSequence) {
        for (size_t block = 1; block <= 2; ++block) {
            const uint8_t* syncBlocks = frame + sequence + block * kDifBlock + kSyncBlockId;
            for (size_t i = 0; i < 6; ++i) {
                const uint8_t* pack = syncBlocks + i * kSyncBlock + kSyncBlockId;
                if (pack[0] == kTimecodePack)
                    return packedTimecode(pack);
            }
        }
    }
    return std::nullopt;
}

DeviceConfig dvClipDevice(std::shared_ptr<const DVClip> clip)
{
    DeviceConfig config = DeviceConfig::dv625();
    config.sampleRate = 25;
    config.content = [clip](uint8_t* bytes, size_t length, uint32_t sequence) {
        const size_t copied = std::min<size_t>(length, kDV625FrameSize);
        std::memcpy(bytes, clip->frame(sequence), copied);
        std::memset(bytes + copied, 0, length - copied);
    };
    config.timecodeAt = [clip](uint32_t delivered) {
        const uint32_t last = delivered == 0 ? 0 : delivered - 1;
        return dvTimecode(clip->frame(last), kDV625FrameSize).value_or(0);
    };
    return config;
}

DeviceConfig toneDevice(const WAVEFORMATEX& format, double frequency)
{
    if (format.wBitsPerSample != 16 || format.nChannels == 0)
        throw std::invalid_argument("the tone device sends 16-bit PCM");
    DeviceConfig config = DeviceConfig::audio({format});
    config.sampleRate = 8;
    config.content = [format, frequency](uint8_t* bytes, size_t length, uint32_t sequence) {
        // Every buffer has the same length, so the tone runs on unbroken
        // from one buffer to the next.
        const size_t frames = length / format.nBlockAlign;
        const double firstFrame = static_cast<double>(sequence) * static_cast<double>(frames);
        const double step = 2.0 * 3.14159265358979323846 * frequency / format.nSamplesPerSec;
        std::memset(bytes, 0, length);
        for (size_t i = 0; i < frames; ++i) {
            const auto value = static_cast<int16_t>(std::lround(16383.0 * std::sin(step * (firstFrame + i))));
            for (WORD channel = 0; channel < format.nChannels; ++channel)
                std::memcpy(bytes + i * format.nBlockAlign + channel * sizeof(value), &value, sizeof(value));
        }
    };
    return config;
}

} // namespace capdev
