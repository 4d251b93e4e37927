// In-process fakes of what an audio graph holds once it is built: the filter
// graph and its media control, the Sample Grabber, the device's output pin
// with its stream configuration and buffer negotiation, the pin it connects
// to, and the device's audio input mixer.
//
// Every fake reports its calls to one Script, which keeps them in call order
// ("Disconnect target pin", "put_Pan 0.5") and answers the faults a test
// plants by step name ("SetFormat", "get_Bass").
#pragma once

#include "audio/audio_sample_capture_graph.h"
#include "com_fakes.h"

#include <dshow.h>
#include <jni.h>
#include <mmreg.h>
#include <qedit.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace audiofake {

class Script {
public:
    // The step is logged (with its detail after a blank); the planted fault
    // for the step, if one is due on this call, is returned.
    std::optional<HRESULT> call(const std::string& step, const std::string& detail = {});
    // A fault on the nth call of the step from now (1: the next one), once.
    void failOnce(const std::string& step, HRESULT result, int nth = 1);
    // A fault on every call of the step.
    void failAlways(const std::string& step, HRESULT result);

    std::vector<std::string> log;

private:
    struct Fault {
        HRESULT result;
        int callsLeft; // 0: every call
    };
    std::map<std::string, Fault> faults;
};

// A stream capability as the pin describes it.
struct Capability {
    GUID majorType = MEDIATYPE_Audio;
    GUID subtype = MEDIASUBTYPE_PCM;
    GUID formatType = FORMAT_WaveFormatEx;
    BOOL fixedSizeSamples = TRUE;
    BOOL temporalCompression = FALSE;
    ULONG sampleSize = 4;
    std::vector<BYTE> format;
};
Capability pcm(WORD channels, DWORD samplesPerSecond, WORD bitsPerSample);

// Counts the media types the pin handed over that were not freed yet: each
// one carries this object as its pUnk, which freeing releases.
class HandedOutTypes : public comfake::Object<IUnknown> {
public:
    HandedOutTypes() { setLabel("media types handed out and not freed"); }
};

class FakeStreamConfig : public comfake::Object<IAMStreamConfig> {
public:
    FakeStreamConfig(Script& script, HandedOutTypes& handedOut);

    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* mediaType) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** mediaType) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** mediaType, BYTE* caps) override;

    std::vector<Capability> capabilities;
    int capabilitySize = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    // A count the driver reports whatever its capabilities, as a faulty one does.
    std::optional<int> reportedCount;
    size_t current = 0;
    // GetStreamCaps and GetFormat succeed without handing a type over.
    bool handNothing = false;

private:
    AM_MEDIA_TYPE* handOut(const Capability& capability);
    std::string describe(const AM_MEDIA_TYPE* mediaType) const;

    Script& script;
    HandedOutTypes& handedOut;
    std::map<int, const AM_MEDIA_TYPE*> lastHandedOut; // by capability index
};

class FakeBufferNegotiation : public comfake::Object<IAMBufferNegotiation> {
public:
    explicit FakeBufferNegotiation(Script& script);

    STDMETHODIMP SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties) override;

    // What the pin negotiates; 0 takes the suggested buffer size.
    long negotiatedBuffer = 0;

private:
    Script& script;
    long suggestedBuffer = 0;
};

class FakePin : public comfake::Object<IPin> {
public:
    FakePin(Script& script, std::string name);

    STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect() override { return E_NOTIMPL; }
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryDirection(PIN_DIRECTION*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return E_NOTIMPL; }
    STDMETHODIMP BeginFlush() override { return E_NOTIMPL; }
    STDMETHODIMP EndFlush() override { return E_NOTIMPL; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return E_NOTIMPL; }

    const std::string& name() const { return label(); }
    FakePin* peer = nullptr; // not referenced: the test owns both pins

private:
    Script& script;
};

// Disconnect and Connect change the pins' peers as a filter graph would.
class FakeFilterGraph : public comfake::Object<IGraphBuilder> {
public:
    FakeFilterGraph(Script& script, FakePin& output, FakePin& target);

    STDMETHODIMP AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect(IPin* pin) override;
    STDMETHODIMP SetDefaultSyncSource() override { return E_NOTIMPL; }
    STDMETHODIMP Connect(IPin* output, IPin* input) override;
    STDMETHODIMP Render(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP SetLogFile(DWORD_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP Abort() override { return E_NOTIMPL; }
    STDMETHODIMP ShouldOperationContinue() override { return E_NOTIMPL; }

private:
    FakePin* known(IPin* pin) const;

    Script& script;
    FakePin& output;
    FakePin& target;
};

class FakeMediaControl : public comfake::Object<IMediaControl> {
public:
    explicit FakeMediaControl(Script& script);

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Run() override;
    STDMETHODIMP Pause() override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override;
    STDMETHODIMP GetState(LONG, OAFilterState* state) override;
    STDMETHODIMP RenderFile(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP AddSourceFilter(BSTR, IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_FilterCollection(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegFilterCollection(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP StopWhenReady() override { return E_NOTIMPL; }

    bool running = false;

private:
    Script& script;
};

// As the real one, holds a reference to the attached callback until another
// (or none) is attached, or until its last reference goes; a refused
// SetCallback keeps the one it holds.
class FakeSampleGrabber : public comfake::Object<ISampleGrabber> {
public:
    explicit FakeSampleGrabber(Script& script);

    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP SetOneShot(WINBOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* mediaType) override;
    STDMETHODIMP SetBufferSamples(WINBOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentBuffer(LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    STDMETHODIMP SetCallback(ISampleGrabberCB* callback, LONG method) override;

    // What the Sample Grabber reports as connected.
    Capability connected = pcm(2, 48000, 16);
    ISampleGrabberCB* attached = nullptr;

private:
    Script& script;
};

enum class Setting { Mono, MixLevel, Pan, Loudness, Treble, TrebleRange, Bass, BassRange };

// A mixer that implements the settings a test chooses and answers E_NOTIMPL
// for the others. A getter fault with a success code still hands the value.
class FakeMixer : public comfake::Object<IAMAudioInputMixer> {
public:
    explicit FakeMixer(Script& script);

    // Implements the settings with these values (a BOOL as 0 or 1, or another number).
    void implement(const std::map<Setting, double>& settings);

    STDMETHODIMP put_Enable(WINBOOL enable) override;
    STDMETHODIMP get_Enable(WINBOOL* enable) override;
    STDMETHODIMP put_Mono(WINBOOL mono) override { return put(Setting::Mono, mono); }
    STDMETHODIMP get_Mono(WINBOOL* mono) override { return getFlag(Setting::Mono, mono); }
    STDMETHODIMP put_MixLevel(double level) override { return put(Setting::MixLevel, level); }
    STDMETHODIMP get_MixLevel(double* level) override { return get(Setting::MixLevel, level); }
    STDMETHODIMP put_Pan(double pan) override { return put(Setting::Pan, pan); }
    STDMETHODIMP get_Pan(double* pan) override { return get(Setting::Pan, pan); }
    STDMETHODIMP put_Loudness(WINBOOL loudness) override { return put(Setting::Loudness, loudness); }
    STDMETHODIMP get_Loudness(WINBOOL* loudness) override { return getFlag(Setting::Loudness, loudness); }
    STDMETHODIMP put_Treble(double treble) override { return put(Setting::Treble, treble); }
    STDMETHODIMP get_Treble(double* treble) override { return get(Setting::Treble, treble); }
    STDMETHODIMP get_TrebleRange(double* range) override { return get(Setting::TrebleRange, range); }
    STDMETHODIMP put_Bass(double bass) override { return put(Setting::Bass, bass); }
    STDMETHODIMP get_Bass(double* bass) override { return get(Setting::Bass, bass); }
    STDMETHODIMP get_BassRange(double* range) override { return get(Setting::BassRange, range); }

    std::map<Setting, double> values;

private:
    HRESULT get(Setting setting, double* value);
    HRESULT getFlag(Setting setting, WINBOOL* value);
    HRESULT put(Setting setting, double value);

    Script& script;
};

// "get_Mono", "put_TrebleRange" and so on.
std::string getterName(Setting setting);
std::string setterName(Setting setting);

// All fakes of one built audio graph, wired as the pin connected to its target.
struct FakeAudioDevice {
    explicit FakeAudioDevice(comfake::Fakes& fakes);

    Script script;
    HandedOutTypes* handedOut;
    FakeStreamConfig* streamConfig;
    FakeBufferNegotiation* bufferNegotiation;
    FakePin* outputPin;
    FakePin* targetPin;
    FakeFilterGraph* filterGraph;
    FakeMediaControl* mediaControl;
    FakeSampleGrabber* sampleGrabber;
    FakeMixer* mixer;
};

// An audio graph in the state its build leaves, over the fakes.
class GraphUnderTest : public pellux::AudioSampleCaptureGraph {
public:
    explicit GraphUnderTest(FakeAudioDevice& device);
    // The graph as the device handle the entry points take.
    jlong handle();
    bool hasCallback() const { return callback != nullptr; }
};

} // namespace audiofake
