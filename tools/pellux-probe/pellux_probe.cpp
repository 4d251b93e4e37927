// pellux-probe <Pellux.dll>: loads the capture library as the JVM would and
// lists what it finds in the DV and audio input device categories. The JNI
// environment is the strict test double, so a broken JNI rule is reported.
#include "strict_jni.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

using OpenList = jlong(JNICALL*)(JNIEnv*, jclass);
using UseList = void(JNICALL*)(JNIEnv*, jclass, jlong);
using CountDevices = jint(JNICALL*)(JNIEnv*, jclass, jlong);
using NameDevice = jstring(JNICALL*)(JNIEnv*, jclass, jlong, jint);
using ThreadCall = void(JNICALL*)(JNIEnv*, jclass);

template <typename F>
F entry(HMODULE library, const char* name)
{
    auto function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (function == nullptr) {
        std::fprintf(stderr, "pellux-probe: %s is not exported\n", name);
        std::exit(2);
    }
    return function;
}

bool reportThrown(strictjni::StrictJni& jni)
{
    const strictjni::ObjectPtr thrown = jni.thrown();
    if (!thrown)
        return false;
    std::printf("  %s: %s\n", thrown->className().c_str(), thrown->message().c_str());
    return true;
}

void listCategory(strictjni::StrictJni& jni, HMODULE library, const char* title, const char* opener)
{
    const auto open = entry<OpenList>(library, opener);
    const auto load = entry<UseList>(library, "Java_orlesk_tavrin_pellux_Pellux_loadDeviceList");
    const auto count = entry<CountDevices>(library, "Java_orlesk_tavrin_pellux_Pellux_getDeviceCount");
    const auto name = entry<NameDevice>(library, "Java_orlesk_tavrin_pellux_Pellux_getDeviceName");
    const auto close = entry<UseList>(library, "Java_orlesk_tavrin_pellux_Pellux_closeDeviceList");

    const jlong list = jni.call(open);
    jni.call(load, list);
    if (!reportThrown(jni)) {
        const jint devices = jni.call(count, list);
        std::printf("%s: %ld device(s)\n", title, static_cast<long>(devices));
        for (jint i = 0; i < devices; ++i)
            std::printf("  %ld: %s\n", static_cast<long>(i), jni.utf8(jni.call(name, list, i)).c_str());
    }
    jni.call(close, list);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pellux-probe <Pellux.dll>\n");
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "pellux-probe: cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    strictjni::StrictJni jni;
    jni.call(entry<ThreadCall>(library, "Java_orlesk_tavrin_pellux_Pellux_initialiseThread"));
    listCategory(jni, library, "DV (video input) devices", "Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList");
    listCategory(jni, library, "Audio input devices", "Java_orlesk_tavrin_pellux_Pellux_openAudioDeviceList");
    jni.call(entry<ThreadCall>(library, "Java_orlesk_tavrin_pellux_Pellux_releaseThread"));
    const auto broken = jni.violations().size();
    if (broken != 0)
        std::printf("%u JNI rule(s) broken\n", static_cast<unsigned>(broken));
    return broken == 0 ? 0 : 1;
}
