#include "audio_fakes.h"

#include "capture_device.h"

#include "boundary/handle.h"

#include <cstring>
#include <sstream>
#include <utility>

namespace audiofake {
namespace {

std::string number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

// --- Script ------------------------------------------------------------------

std::optional<HRESULT> Script::call(const std::string& step, const std::string& detail)
{
    log.push_back(detail.empty() ? step : step + " " + detail);
    const auto found = faults.find(step);
    if (found == faults.end())
        return std::nullopt;
    Fault& fault = found->second;
    if (fault.callsLeft == 0)
        return fault.result;
    if (--fault.callsLeft > 0)
        return std::nullopt;
    const HRESULT result = fault.result;
    faults.erase(found);
    return result;
}

void Script::failOnce(const std::string& step, HRESULT result, int nth)
{
    faults[step] = Fault{result, nth};
}

void Script::failAlways(const std::string& step, HRESULT result)
{
    faults[step] = Fault{result, 0};
}

Capability pcm(WORD channels, DWORD samplesPerSecond, WORD bitsPerSample)
{
    const WAVEFORMATEX wave = capdev::pcmFormat(channels, samplesPerSecond, bitsPerSample);
    Capability capability;
    capability.sampleSize = wave.nBlockAlign;
    const auto* bytes = reinterpret_cast<const BYTE*>(&wave);
    capability.format.assign(bytes, bytes + sizeof(wave));
    return capability;
}

// --- FakeStreamConfig ---------------------------------------------------------

FakeStreamConfig::FakeStreamConfig(Script& script, HandedOutTypes& handedOut) : script(script), handedOut(handedOut)
{
    setLabel("stream config");
}

AM_MEDIA_TYPE* FakeStreamConfig::handOut(const Capability& capability)
{
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    *type = AM_MEDIA_TYPE{};
    type->majortype = capability.majorType;
    type->subtype = capability.subtype;
    type->formattype = capability.formatType;
    type->bFixedSizeSamples = capability.fixedSizeSamples;
    type->bTemporalCompression = capability.temporalCompression;
    type->lSampleSize = capability.sampleSize;
    if (!capability.format.empty()) {
        type->cbFormat = static_cast<ULONG>(capability.format.size());
        type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type->cbFormat));
        std::memcpy(type->pbFormat, capability.format.data(), type->cbFormat);
    }
    type->pUnk = &handedOut;
    handedOut.AddRef();
    return type;
}

std::string FakeStreamConfig::describe(const AM_MEDIA_TYPE* mediaType) const
{
    for (const auto& [index, handed] : lastHandedOut)
        if (handed == mediaType)
            return "capability " + std::to_string(index);
    return "a type the pin did not hand out";
}

STDMETHODIMP FakeStreamConfig::SetFormat(AM_MEDIA_TYPE* mediaType)
{
    if (const auto fault = script.call("SetFormat", describe(mediaType)))
        return *fault;
    for (const auto& [index, handed] : lastHandedOut)
        if (handed == mediaType)
            current = static_cast<size_t>(index);
    return S_OK;
}

STDMETHODIMP FakeStreamConfig::GetFormat(AM_MEDIA_TYPE** mediaType)
{
    *mediaType = nullptr;
    if (const auto fault = script.call("GetFormat"))
        return *fault;
    if (!handNothing)
        *mediaType = handOut(capabilities.at(current));
    return S_OK;
}

STDMETHODIMP FakeStreamConfig::GetNumberOfCapabilities(int* count, int* size)
{
    if (const auto fault = script.call("GetNumberOfCapabilities"))
        return *fault;
    *count = reportedCount.value_or(static_cast<int>(capabilities.size()));
    *size = capabilitySize;
    return S_OK;
}

STDMETHODIMP FakeStreamConfig::GetStreamCaps(int index, AM_MEDIA_TYPE** mediaType, BYTE* caps)
{
    *mediaType = nullptr;
    // The structure must come zeroed: a driver may fill only part of it.
    const std::vector<BYTE> zeroes(sizeof(AUDIO_STREAM_CONFIG_CAPS), 0);
    if (std::memcmp(caps, zeroes.data(), zeroes.size()) != 0)
        script.call("GetStreamCaps given a capability structure that is not zeroed");
    if (const auto fault = script.call("GetStreamCaps", std::to_string(index)))
        return *fault;
    if (handNothing)
        return S_OK;
    *mediaType = handOut(capabilities.at(static_cast<size_t>(index)));
    lastHandedOut[index] = *mediaType;
    std::memset(caps, 0xA5, sizeof(AUDIO_STREAM_CONFIG_CAPS));
    return S_OK;
}

// --- FakeBufferNegotiation ----------------------------------------------------

FakeBufferNegotiation::FakeBufferNegotiation(Script& script) : script(script)
{
    setLabel("buffer negotiation");
}

STDMETHODIMP FakeBufferNegotiation::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties)
{
    const std::string detail = std::to_string(properties->cBuffers) + " x " + std::to_string(properties->cbBuffer) +
                               " align " + std::to_string(properties->cbAlign) + " prefix " +
                               std::to_string(properties->cbPrefix);
    if (const auto fault = script.call("SuggestAllocatorProperties", detail))
        return *fault;
    suggestedBuffer = properties->cbBuffer;
    return S_OK;
}

STDMETHODIMP FakeBufferNegotiation::GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties)
{
    if (const auto fault = script.call("GetAllocatorProperties"))
        return *fault;
    properties->cBuffers = 2;
    properties->cbBuffer = negotiatedBuffer != 0 ? negotiatedBuffer : suggestedBuffer;
    properties->cbAlign = 1;
    properties->cbPrefix = 0;
    return S_OK;
}

// --- Pins and the filter graph --------------------------------------------------

FakePin::FakePin(Script& script, std::string name) : script(script)
{
    setLabel(std::move(name));
}

STDMETHODIMP FakePin::ConnectedTo(IPin** pin)
{
    *pin = nullptr;
    if (const auto fault = script.call("ConnectedTo"))
        return *fault;
    if (peer == nullptr)
        return VFW_E_NOT_CONNECTED;
    *pin = peer;
    peer->AddRef();
    return S_OK;
}

FakeFilterGraph::FakeFilterGraph(Script& script, FakePin& output, FakePin& target)
    : script(script), output(output), target(target)
{
    setLabel("filter graph");
}

FakePin* FakeFilterGraph::known(IPin* pin) const
{
    if (pin == &output)
        return &output;
    if (pin == &target)
        return &target;
    return nullptr;
}

STDMETHODIMP FakeFilterGraph::Disconnect(IPin* pin)
{
    FakePin* disconnected = known(pin);
    const std::string name = disconnected != nullptr ? disconnected->name() : "an unknown pin";
    if (const auto fault = script.call("Disconnect " + name))
        return *fault;
    if (disconnected == nullptr)
        return E_POINTER;
    if (disconnected->peer == nullptr)
        return S_FALSE;
    disconnected->peer = nullptr;
    return S_OK;
}

STDMETHODIMP FakeFilterGraph::Connect(IPin* from, IPin* to)
{
    FakePin* source = known(from);
    FakePin* sink = known(to);
    const std::string detail = (source != nullptr ? source->name() : "an unknown pin") + " to " +
                               (sink != nullptr ? sink->name() : "an unknown pin");
    if (const auto fault = script.call("Connect", detail))
        return *fault;
    if (source != &output || sink != &target)
        return E_INVALIDARG;
    if (output.peer != nullptr || target.peer != nullptr)
        return VFW_E_ALREADY_CONNECTED;
    output.peer = &target;
    target.peer = &output;
    return S_OK;
}

FakeMediaControl::FakeMediaControl(Script& script) : script(script)
{
    setLabel("media control");
}

STDMETHODIMP FakeMediaControl::Run()
{
    if (const auto fault = script.call("Run"))
        return *fault;
    running = true;
    return S_OK;
}

STDMETHODIMP FakeMediaControl::Stop()
{
    if (const auto fault = script.call("Stop"))
        return *fault;
    running = false;
    return S_OK;
}

STDMETHODIMP FakeMediaControl::GetState(LONG, OAFilterState* state)
{
    *state = running ? State_Running : State_Stopped;
    return S_OK;
}

FakeSampleGrabber::FakeSampleGrabber(Script& script) : script(script)
{
    setLabel("sample grabber");
}

STDMETHODIMP FakeSampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (const auto fault = script.call("GetConnectedMediaType"))
        return *fault;
    *mediaType = AM_MEDIA_TYPE{};
    mediaType->majortype = connected.majorType;
    mediaType->subtype = connected.subtype;
    mediaType->formattype = connected.formatType;
    mediaType->bFixedSizeSamples = connected.fixedSizeSamples;
    mediaType->bTemporalCompression = connected.temporalCompression;
    mediaType->lSampleSize = connected.sampleSize;
    mediaType->cbFormat = static_cast<ULONG>(connected.format.size());
    mediaType->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(mediaType->cbFormat));
    std::memcpy(mediaType->pbFormat, connected.format.data(), mediaType->cbFormat);
    return S_OK;
}

STDMETHODIMP FakeSampleGrabber::SetCallback(ISampleGrabberCB* callback, LONG method)
{
    const std::string detail = callback == nullptr ? "none" : "a callback, method " + std::to_string(method);
    if (const auto fault = script.call("SetCallback", detail))
        return *fault;
    if (callback != nullptr)
        callback->AddRef();
    if (attached != nullptr)
        attached->Release();
    attached = callback;
    return S_OK;
}

STDMETHODIMP_(ULONG) FakeSampleGrabber::Release()
{
    const ULONG left = Object::Release();
    if (left == 0 && attached != nullptr)
        std::exchange(attached, nullptr)->Release();
    return left;
}

// --- FakeMixer --------------------------------------------------------------------

std::string getterName(Setting setting)
{
    static const std::map<Setting, std::string> names = {
        {Setting::Mono, "get_Mono"},     {Setting::MixLevel, "get_MixLevel"},
        {Setting::Pan, "get_Pan"},       {Setting::Loudness, "get_Loudness"},
        {Setting::Treble, "get_Treble"}, {Setting::TrebleRange, "get_TrebleRange"},
        {Setting::Bass, "get_Bass"},     {Setting::BassRange, "get_BassRange"}};
    return names.at(setting);
}

std::string setterName(Setting setting)
{
    return "put_" + getterName(setting).substr(4);
}

FakeMixer::FakeMixer(Script& script) : script(script)
{
    setLabel("audio input mixer");
}

void FakeMixer::implement(const std::map<Setting, double>& settings)
{
    values = settings;
}

STDMETHODIMP FakeMixer::put_Enable(WINBOOL enable)
{
    script.call("put_Enable", std::to_string(enable));
    return S_OK;
}

STDMETHODIMP FakeMixer::get_Enable(WINBOOL* enable)
{
    script.call("get_Enable");
    *enable = TRUE;
    return S_OK;
}

HRESULT FakeMixer::get(Setting setting, double* value)
{
    const auto fault = script.call(getterName(setting));
    if (fault && FAILED(*fault))
        return *fault;
    const auto found = values.find(setting);
    if (found == values.end())
        return fault ? *fault : E_NOTIMPL;
    *value = found->second;
    return fault ? *fault : S_OK;
}

HRESULT FakeMixer::getFlag(Setting setting, WINBOOL* value)
{
    double number = 0.0;
    const HRESULT result = get(setting, &number);
    if (SUCCEEDED(result))
        *value = static_cast<WINBOOL>(number);
    return result;
}

HRESULT FakeMixer::put(Setting setting, double value)
{
    if (const auto fault = script.call(setterName(setting), number(value)))
        return *fault;
    const auto found = values.find(setting);
    if (found == values.end())
        return E_NOTIMPL;
    found->second = value;
    return S_OK;
}

// --- The device and the graph -------------------------------------------------------

FakeAudioDevice::FakeAudioDevice(comfake::Fakes& fakes)
    : handedOut(fakes.make<HandedOutTypes>()), streamConfig(fakes.make<FakeStreamConfig>(script, *handedOut)),
      bufferNegotiation(fakes.make<FakeBufferNegotiation>(script)),
      outputPin(fakes.make<FakePin>(script, "capture pin")), targetPin(fakes.make<FakePin>(script, "target pin")),
      filterGraph(fakes.make<FakeFilterGraph>(script, *outputPin, *targetPin)),
      mediaControl(fakes.make<FakeMediaControl>(script)), sampleGrabber(fakes.make<FakeSampleGrabber>(script)),
      mixer(fakes.make<FakeMixer>(script))
{
    streamConfig->capabilities = {pcm(2, 48000, 16)};
    outputPin->peer = targetPin;
    targetPin->peer = outputPin;
}

GraphUnderTest::GraphUnderTest(FakeAudioDevice& device)
{
    filterGraph = static_cast<IGraphBuilder*>(device.filterGraph);
    mediaControl = static_cast<IMediaControl*>(device.mediaControl);
    sampleGrabber = static_cast<ISampleGrabber*>(device.sampleGrabber);
    captureOutputPin = static_cast<IPin*>(device.outputPin);
    streamConfig = static_cast<IAMStreamConfig*>(device.streamConfig);
    bufferNegotiation = static_cast<IAMBufferNegotiation*>(device.bufferNegotiation);
    audioInputMixer = static_cast<IAMAudioInputMixer*>(device.mixer);
    // As the build leaves it: the suggested buffer negotiated, a callback attached.
    suggestAllocatorProperties();
    callback = createCallback();
    attachCallback();
    device.script.log.clear();
}

jlong GraphUnderTest::handle()
{
    return pellux::toHandle(static_cast<pellux::SampleCaptureGraph*>(this));
}

} // namespace audiofake
