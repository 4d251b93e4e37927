// Real media for the test capture device to send instead of the frame
// pattern: a DV clip read from a file and played in a loop, whose deck reads
// the timecode recorded in the frame it sent last; and a sine tone in PCM.
//
//   auto clip = std::make_shared<capdev::DVClip>("Z:\\clips\\bars.dv");
//   capdev::InstalledDevice deck(capdev::dvClipDevice(clip), L"DV Deck");
//   capdev::InstalledDevice microphone(capdev::toneDevice(capdev::pcmFormat(2, 48000, 16), 1000.0), L"Line In");
#pragma once

#include "capture_device.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capdev {

// A raw DV file of whole PAL frames (144 000 bytes each).
class DVClip {
public:
    // Throws std::runtime_error when the file cannot be read or holds no
    // whole frame.
    explicit DVClip(const std::string& path);

    size_t frameCount() const { return bytes.size() / kDV625FrameSize; }
    // The frame sent as sample `sequence`: the clip plays in a loop.
    const uint8_t* frame(uint32_t sequence) const;

private:
    std::vector<uint8_t> bytes;
};

// The timecode a DV frame's subcode carries, as the packed word a deck's
// timecode reader reports: BCD hours, minutes, seconds and frames in the
// bytes 0xHHMMSSFF. None when the frame carries no timecode pack.
std::optional<DWORD> dvTimecode(const uint8_t* frame, size_t size);

// A PAL DV deck sending the clip's frames in real time (25 a second); its
// timecode reader reports the timecode of the frame it sent last.
DeviceConfig dvClipDevice(std::shared_ptr<const DVClip> clip);

// An audio input sending a sine tone of `frequency` Hz at half scale in a
// 16-bit PCM `format`, eight buffers a second (the eighth of a second each
// that the capture library asks for).
DeviceConfig toneDevice(const WAVEFORMATEX& format, double frequency);

} // namespace capdev
