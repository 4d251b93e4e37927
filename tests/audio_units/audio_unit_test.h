// The fixture of the audio unit suites: COM, the strict JNI double and a
// graph over fakes, whose references and handed-out media types must all
// come back by the end of each test.
#pragma once

#include "audio_fakes.h"
#include "media_test_support.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <memory>

namespace audiotest {

class AudioUnitTest : public mediatest::MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        graph = std::make_unique<audiofake::GraphUnderTest>(device);
    }
    void TearDown() override
    {
        graph.reset();
        MediaTest::TearDown();
    }

    jlong handle() const { return graph->handle(); }
    std::vector<std::string>& log() { return device.script.log; }

    audiofake::FakeAudioDevice device{fakes};
    std::unique_ptr<audiofake::GraphUnderTest> graph;
};

} // namespace audiotest
