// A media test whose CLSID_MediaDet is the fake detector for the test's length.
#pragma once

#include "fake_media_detector.h"
#include "media_test_support.h"

#include <memory>

namespace mediatest {

class FakeDetectorTest : public MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        detector = fakes.make<mediadet::FakeMediaDetector>();
        substitution = std::make_unique<mediadet::MediaDetectorOverride>(*detector);
    }
    void TearDown() override
    {
        substitution.reset();
        MediaTest::TearDown();
    }

    mediadet::FakeMediaDetector* detector = nullptr;
    std::unique_ptr<mediadet::MediaDetectorOverride> substitution;
};

} // namespace mediatest
