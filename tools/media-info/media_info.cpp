// media-info <Pellux.dll> <media file>...: loads the capture library as the
// JVM would and prints what its getMediaInfo entry point returns for each
// file: the streams with their media types, frame rates and lengths. The JNI
// environment is the strict test double, so a broken JNI rule is reported.
#include "strict_jni.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using GetMediaInfo = jobject(JNICALL*)(JNIEnv*, jclass, jstring);
using ThreadCall = void(JNICALL*)(JNIEnv*, jclass);
using strictjni::ObjectPtr;

template <typename F>
F entry(HMODULE library, const char* name)
{
    auto function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (function == nullptr) {
        std::fprintf(stderr, "media-info: %s is not exported\n", name);
        std::exit(2);
    }
    return function;
}

// The constructor parameters of the format classes, in order.
const std::vector<const char*>* parameterNames(const std::string& className)
{
    static const std::vector<const char*> wave = {"format tag", "channels",    "samples/s",
                                                  "bytes/s",    "block align", "bits/sample"};
    static const std::vector<const char*> video = {
        "source left",  "source top",    "source right",     "source bottom",  "target left",         "target top",
        "target right", "target bottom", "bit rate",         "bit error rate", "time/frame (100 ns)", "width",
        "height",       "planes",        "bit count",        "compression",    "image size",          "x pels/m",
        "y pels/m",     "colours used",  "colours important"};
    static const std::vector<const char*> dv = {"audio aux src",   "audio aux ctl", "audio aux src 1",
                                                "audio aux ctl 1", "video aux src", "video aux ctl"};
    if (className == "orlesk/tavrin/pellux/mediainfo/WaveFormatEx")
        return &wave;
    if (className == "orlesk/tavrin/pellux/mediainfo/VideoHeader")
        return &video;
    if (className == "orlesk/tavrin/pellux/mediainfo/DVInfo")
        return &dv;
    return nullptr;
}

long long number(const strictjni::Value& value)
{
    switch (value.type) {
    case 'Z':
        return value.z();
    case 'S':
        return value.s();
    case 'I':
        return value.i();
    case 'J':
        return value.j();
    default:
        return 0;
    }
}

void printFormat(const ObjectPtr& format)
{
    if (!format) {
        std::printf("      format: none\n");
        return;
    }
    const std::string& name = format->className();
    std::printf("      %s:", name.substr(name.rfind('/') + 1).c_str());
    const auto* names = parameterNames(name);
    for (size_t i = 0; i < format->constructorArgs.size(); ++i) {
        const char* label = names != nullptr && i < names->size() ? (*names)[i] : "?";
        std::printf("%s %s %lld", i == 0 ? "" : ",", label, number(format->constructorArgs[i]));
    }
    std::printf("\n");
}

void printStream(size_t index, const ObjectPtr& stream)
{
    const ObjectPtr mediaType = stream->constructorArgs.at(0).object;
    const double frameRate = stream->constructorArgs.at(1).d();
    const long long length = stream->constructorArgs.at(2).j();
    const auto& type = mediaType->constructorArgs;
    std::printf("  stream %zu: length %lld (%.3f s), ", index, length, length / 1e7);
    if (frameRate < 0)
        std::printf("no frame rate\n");
    else
        std::printf("%.3f frames/s\n", frameRate);
    std::printf("      major type %s, subtype %s\n", type.at(0).utf8().c_str(), type.at(1).utf8().c_str());
    std::printf("      fixed-size samples %s, temporal compression %s, sample size %ld\n",
                type.at(2).z() ? "yes" : "no", type.at(3).z() ? "yes" : "no", static_cast<long>(type.at(4).i()));
    printFormat(type.at(5).object);
}

bool printMediaInfo(strictjni::StrictJni& jni, GetMediaInfo getMediaInfo, const wchar_t* path)
{
    const std::wstring text(path);
    std::printf("%ls\n", path);
    const jobject info = jni.call(getMediaInfo, jni.newString(std::u16string(text.begin(), text.end())));
    if (const ObjectPtr thrown = jni.thrown()) {
        std::printf("  %s: %s\n", thrown->className().c_str(), thrown->message().c_str());
        return false;
    }
    size_t index = 0;
    for (const strictjni::Call& call : jni.object(info)->callsOf("addStream"))
        printStream(index++, call.args.at(0).object);
    if (index == 0)
        std::printf("  no streams\n");
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: media-info <Pellux.dll> <media file>...\n");
        return 2;
    }
    HMODULE library = LoadLibraryW(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "media-info: cannot load %ls (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    strictjni::StrictJni jni;
    jni.call(entry<ThreadCall>(library, "Java_orlesk_tavrin_pellux_Pellux_initialiseThread"));
    const auto getMediaInfo = entry<GetMediaInfo>(library, "Java_orlesk_tavrin_pellux_Pellux_getMediaInfo");
    bool allRead = true;
    for (int i = 2; i < argc; ++i)
        allRead = printMediaInfo(jni, getMediaInfo, argv[i]) && allRead;
    jni.call(entry<ThreadCall>(library, "Java_orlesk_tavrin_pellux_Pellux_releaseThread"));
    for (const strictjni::Violation& violation : jni.violations())
        std::printf("JNI rule broken: %s\n", violation.text().c_str());
    return allRead && jni.violations().empty() ? 0 : 1;
}
