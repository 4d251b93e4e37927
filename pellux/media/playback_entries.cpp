// Media playback: declared by the Java side, without effect here. Each entry
// point ignores its arguments and answers at once with a fixed result.
#include "orlesk_tavrin_pellux_Pellux.h"

extern "C" {

JNIEXPORT jlong JNICALL Java_orlesk_tavrin_pellux_Pellux_openMedia(JNIEnv*, jclass, jlong)
{
    return 0;
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_closeMedia(JNIEnv*, jclass, jlong) {}

JNIEXPORT jint JNICALL Java_orlesk_tavrin_pellux_Pellux_getSeekingCapabilities(JNIEnv*, jclass, jlong)
{
    return 0;
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_setMediaPlaybackWindow(JNIEnv*, jclass, jlong, jint, jint, jint,
                                                                               jint, jint)
{
}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_playMedia(JNIEnv*, jclass, jlong, jlong, jlong) {}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_stopMedia(JNIEnv*, jclass, jlong) {}

JNIEXPORT void JNICALL Java_orlesk_tavrin_pellux_Pellux_setMediaPosition(JNIEnv*, jclass, jlong, jlong) {}

JNIEXPORT jlong JNICALL Java_orlesk_tavrin_pellux_Pellux_getMediaPosition(JNIEnv*, jclass, jlong)
{
    return 0;
}

} // extern "C"
