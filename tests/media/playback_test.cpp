// The playback entry points answer at once with their fixed results.
#include "media_test_support.h"

#include "orlesk_tavrin_pellux_Pellux.h"

using namespace mediatest;

namespace {

TEST_F(MediaTest, PlaybackEntryPointsHaveFixedResultsAndNoEffect)
{
    for (jlong media : {jlong{0}, jlong{0x7FFFFFFF12345678}, jlong{-1}}) {
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_openMedia, media), 0);
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getSeekingCapabilities, media), 0);
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getMediaPosition, media), 0);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setMediaPlaybackWindow, media, jint{1}, jint{-2}, jint{3}, jint{4},
                 jint{5});
        jni.call(Java_orlesk_tavrin_pellux_Pellux_playMedia, media, jlong{10}, jlong{-20});
        jni.call(Java_orlesk_tavrin_pellux_Pellux_setMediaPosition, media, jlong{30});
        jni.call(Java_orlesk_tavrin_pellux_Pellux_stopMedia, media);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_closeMedia, media);
        EXPECT_FALSE(jni.thrown());
    }
}

} // namespace
