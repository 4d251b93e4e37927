#include "capture_filter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <sstream>

using Microsoft::WRL::ComPtr;

namespace capdev {
namespace {

// A list of pins or media types as DirectShow enumerates them.
template <typename Interface, typename Item, typename Enumerator>
class ListEnumerator : public comfake::Object<Interface> {
public:
    using Produce = std::function<Item*(size_t index)>;
    ListEnumerator(InstalledDevice& device, size_t count, Produce produce, size_t position = 0)
        : device(device), count(count), produce(std::move(produce)), position(position)
    {
    }

    STDMETHODIMP Next(ULONG wanted, Item** items, ULONG* fetched) override
    {
        if (items == nullptr || (wanted > 1 && fetched == nullptr))
            return E_POINTER;
        ULONG given = 0;
        while (given < wanted && position < count)
            items[given++] = produce(position++);
        if (fetched != nullptr)
            *fetched = given;
        return given == wanted ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG skipped) override
    {
        position = std::min<size_t>(count, position + skipped);
        return position < count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** clone) override
    {
        auto* copy = device.make<Enumerator>(device, count, produce, position);
        copy->setLabel(this->label());
        copy->AddRef();
        *clone = copy;
        return S_OK;
    }

private:
    InstalledDevice& device;
    size_t count;
    Produce produce;
    size_t position;
};

class PinEnumerator : public ListEnumerator<IEnumPins, IPin, PinEnumerator> {
    using ListEnumerator::ListEnumerator;
};

class TypeEnumerator : public ListEnumerator<IEnumMediaTypes, AM_MEDIA_TYPE, TypeEnumerator> {
    using ListEnumerator::ListEnumerator;
};

wchar_t* taskMemCopy(const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    std::memcpy(copy, text.c_str(), bytes);
    return copy;
}

DVINFO dvInfo(bool is625)
{
    DVINFO info{};
    // The DV stream's source and control packs: 625/50 sets the system bit.
    info.dwDVAAuxSrc = is625 ? 0xD1E030D0 : 0xD1C030C0;
    info.dwDVAAuxCtl = 0xFFA0CF3F;
    info.dwDVVAuxSrc = is625 ? 0xFF20FFFF : 0xFF00FFFF;
    info.dwDVVAuxCtl = 0xFFFAFF3F;
    return info;
}

} // namespace

bool refuses(const DeviceConfig& config, REFIID iid)
{
    const auto& refused = config.faults.refusedInterfaces;
    return std::find(refused.begin(), refused.end(), iid) != refused.end();
}

// --- MediaType ---------------------------------------------------------------

MediaType::MediaType(const AM_MEDIA_TYPE& source)
{
    type = source;
    type.pUnk = nullptr;
    if (source.cbFormat != 0) {
        type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
        std::memcpy(type.pbFormat, source.pbFormat, source.cbFormat);
    } else {
        type.pbFormat = nullptr;
    }
}

MediaType& MediaType::operator=(const MediaType& other)
{
    if (this != &other) {
        MediaType copy(other.type);
        clear();
        type = copy.type;
        copy.type = AM_MEDIA_TYPE{};
    }
    return *this;
}

MediaType::~MediaType()
{
    clear();
}

void MediaType::clear()
{
    CoTaskMemFree(type.pbFormat);
    type = AM_MEDIA_TYPE{};
}

void MediaType::copyTo(AM_MEDIA_TYPE& target) const
{
    target = type;
    if (type.cbFormat != 0) {
        target.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type.cbFormat));
        std::memcpy(target.pbFormat, type.pbFormat, type.cbFormat);
    }
}

AM_MEDIA_TYPE* MediaType::newCopy() const
{
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    copyTo(*copy);
    return copy;
}

// --- OutputPin ---------------------------------------------------------------

OutputPin::OutputPin(CaptureFilter& filter, InstalledDevice& device, std::wstring name)
    : filter(filter), device(device), name(std::move(name))
{
    const DeviceConfig& config = device.config();
    if (config.isDV())
        types.push_back(streamType(nullptr));
    else
        for (const WAVEFORMATEX& wave : config.formats)
            types.push_back(streamType(&wave));
}

OutputPin::~OutputPin() = default;

MediaType OutputPin::streamType(const WAVEFORMATEX* wave) const
{
    const DeviceConfig& config = device.config();
    const Faults& faults = config.faults;
    AM_MEDIA_TYPE type{};
    DVINFO info = dvInfo(config.flavour == Flavour::DV625);
    WAVEFORMATEX waveCopy{};
    if (config.isDV()) {
        type.majortype = MEDIATYPE_Interleaved;
        type.subtype = MEDIASUBTYPE_dvsd;
        type.formattype = FORMAT_DvInfo;
        type.cbFormat = sizeof(info);
        type.pbFormat = reinterpret_cast<BYTE*>(&info);
        type.lSampleSize = config.frameSize();
    } else {
        waveCopy = *wave;
        type.majortype = MEDIATYPE_Audio;
        type.subtype = MEDIASUBTYPE_PCM;
        type.formattype = FORMAT_WaveFormatEx;
        type.cbFormat = sizeof(waveCopy);
        type.pbFormat = reinterpret_cast<BYTE*>(&waveCopy);
        type.lSampleSize = wave->nBlockAlign;
    }
    type.bFixedSizeSamples = !faults.variableSizeSamples;
    type.bTemporalCompression = faults.temporalCompression;
    if (faults.majorType != GUID_NULL)
        type.majortype = faults.majorType;
    if (faults.subtype != GUID_NULL)
        type.subtype = faults.subtype;
    if (faults.formatType != GUID_NULL)
        type.formattype = faults.formatType;
    return MediaType(type);
}

bool OutputPin::queryInterface(REFIID iid, void** out)
{
    if (refuses(device.config(), iid))
        return false;
    if (!device.config().isDV() || (iid != IID_IAMStreamConfig && iid != IID_IAMBufferNegotiation))
        return Object::queryInterface(iid, out);
    return false;
}

ALLOCATOR_PROPERTIES OutputPin::wantedProperties() const
{
    const DeviceConfig& config = device.config();
    ALLOCATOR_PROPERTIES wanted{};
    wanted.cBuffers = config.minimumBuffers;
    wanted.cbAlign = 1;
    wanted.cbPrefix = 0;
    if (config.isDV()) {
        wanted.cBuffers = std::max<long>(wanted.cBuffers, 4);
        wanted.cbBuffer = config.frameSize();
        return wanted;
    }
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(types.at(currentFormat).get().pbFormat);
    // Without a suggestion the driver takes a tenth of a second.
    wanted.cbBuffer = static_cast<long>(wave->nAvgBytesPerSec / 10);
    if (device.state().wasSuggested) {
        const ALLOCATOR_PROPERTIES& suggested = device.state().suggested;
        if (suggested.cbBuffer > 0)
            wanted.cbBuffer = suggested.cbBuffer;
        wanted.cBuffers = std::max(wanted.cBuffers, suggested.cBuffers);
    }
    if (config.driverBufferSize != 0)
        wanted.cbBuffer = config.driverBufferSize;
    return wanted;
}

HRESULT OutputPin::decideAllocator(IMemInputPin& input)
{
    if (!allocator) {
        const HRESULT created =
            CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&allocator));
        if (FAILED(created))
            return created;
    }
    ALLOCATOR_PROPERTIES wanted = wantedProperties();
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    device.state().negotiated = actual;
    return input.NotifyAllocator(allocator.Get(), FALSE);
}

HRESULT OutputPin::tryConnect(IPin* receivePin, const MediaType& type)
{
    HRESULT hr = receivePin->ReceiveConnection(this, &type.get());
    if (FAILED(hr))
        return hr;
    ComPtr<IMemInputPin> input;
    hr = receivePin->QueryInterface(IID_PPV_ARGS(&input));
    if (SUCCEEDED(hr))
        hr = decideAllocator(*input.Get());
    if (FAILED(hr)) {
        receivePin->Disconnect();
        return hr;
    }
    peer = receivePin;
    memInput = input;
    connected = type;
    ++device.state().connections;
    return S_OK;
}

STDMETHODIMP OutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType)
{
    if (receivePin == nullptr)
        return E_POINTER;
    if (peer)
        return VFW_E_ALREADY_CONNECTED;
    if (types.empty())
        return VFW_E_NO_ACCEPTABLE_TYPES;
    const MediaType& current = types.at(currentFormat);
    // A partial type from the graph must agree with the current format.
    if (mediaType != nullptr && mediaType->majortype != GUID_NULL && mediaType->majortype != current.get().majortype)
        return VFW_E_NO_ACCEPTABLE_TYPES;
    const HRESULT hr = tryConnect(receivePin, current);
    return FAILED(hr) ? VFW_E_NO_ACCEPTABLE_TYPES : S_OK;
}

STDMETHODIMP OutputPin::Disconnect()
{
    if (!peer)
        return S_FALSE;
    peer.Reset();
    memInput.Reset();
    connected = MediaType();
    return S_OK;
}

STDMETHODIMP OutputPin::ConnectedTo(IPin** pin)
{
    if (pin == nullptr)
        return E_POINTER;
    *pin = nullptr;
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    return peer.CopyTo(pin);
}

STDMETHODIMP OutputPin::ConnectionMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr)
        return E_POINTER;
    if (!peer) {
        *mediaType = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    connected.copyTo(*mediaType);
    return S_OK;
}

STDMETHODIMP OutputPin::QueryPinInfo(PIN_INFO* info)
{
    if (info == nullptr)
        return E_POINTER;
    info->pFilter = &filter;
    filter.AddRef();
    info->dir = PINDIR_OUTPUT;
    lstrcpynW(info->achName, name.c_str(), MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP OutputPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (direction == nullptr)
        return E_POINTER;
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

STDMETHODIMP OutputPin::QueryId(LPWSTR* id)
{
    if (id == nullptr)
        return E_POINTER;
    *id = taskMemCopy(name);
    return S_OK;
}

STDMETHODIMP OutputPin::QueryAccept(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr)
        return E_POINTER;
    for (const MediaType& type : types)
        if (type.get().majortype == mediaType->majortype && type.get().subtype == mediaType->subtype)
            return S_OK;
    return S_FALSE;
}

STDMETHODIMP OutputPin::EnumMediaTypes(IEnumMediaTypes** enumerator)
{
    if (enumerator == nullptr)
        return E_POINTER;
    // The current format first, as capture drivers list it.
    auto* made = device.make<TypeEnumerator>(device, types.empty() ? 0 : 1,
                                             [this](size_t) { return types.at(currentFormat).newCopy(); });
    made->setLabel("media type enumerator");
    made->AddRef();
    *enumerator = made;
    return S_OK;
}

STDMETHODIMP OutputPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size, DWORD* returned)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (returned != nullptr)
        *returned = sizeof(GUID);
    if (data == nullptr)
        return returned != nullptr ? S_OK : E_POINTER;
    if (size < sizeof(GUID))
        return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

STDMETHODIMP OutputPin::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support != nullptr)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

STDMETHODIMP OutputPin::SetFormat(AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr)
        return E_POINTER;
    if (FAILED(device.config().faults.setFormatResult))
        return device.config().faults.setFormatResult;
    if (peer)
        return VFW_E_ALREADY_CONNECTED;
    for (size_t i = 0; i < types.size(); ++i) {
        const AM_MEDIA_TYPE& type = types[i].get();
        if (type.formattype == mediaType->formattype && type.cbFormat == mediaType->cbFormat &&
            std::memcmp(type.pbFormat, mediaType->pbFormat, type.cbFormat) == 0) {
            currentFormat = i;
            return S_OK;
        }
    }
    return VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP OutputPin::GetFormat(AM_MEDIA_TYPE** mediaType)
{
    if (mediaType == nullptr)
        return E_POINTER;
    const Faults& faults = device.config().faults;
    if (FAILED(faults.getFormatResult))
        return faults.getFormatResult;
    if (faults.getFormatHandsNothing) {
        *mediaType = nullptr;
        return S_OK;
    }
    *mediaType = (peer ? connected : types.at(currentFormat)).newCopy();
    // The connection's format-type fault does not show here; this one does.
    const GUID ownFormat = device.config().isDV() ? FORMAT_DvInfo : FORMAT_WaveFormatEx;
    (*mediaType)->formattype = faults.streamConfigFormatType != GUID_NULL ? faults.streamConfigFormatType : ownFormat;
    return S_OK;
}

STDMETHODIMP OutputPin::GetNumberOfCapabilities(int* count, int* size)
{
    if (count == nullptr || size == nullptr)
        return E_POINTER;
    *count = device.config().faults.noCapabilities ? 0 : static_cast<int>(types.size());
    *size = device.config().capabilitySize;
    return S_OK;
}

STDMETHODIMP OutputPin::GetStreamCaps(int index, AM_MEDIA_TYPE** mediaType, BYTE* caps)
{
    if (mediaType == nullptr || caps == nullptr)
        return E_POINTER;
    const Faults& faults = device.config().faults;
    if (index < 0 || static_cast<size_t>(index) >= types.size() || faults.noCapabilities)
        return S_FALSE;
    *mediaType = types[static_cast<size_t>(index)].newCopy();
    const auto otherFormat = faults.capabilityFormatTypes.find(static_cast<size_t>(index));
    if (otherFormat != faults.capabilityFormatTypes.end())
        (*mediaType)->formattype = otherFormat->second;
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>((*mediaType)->pbFormat);
    AUDIO_STREAM_CONFIG_CAPS capability{};
    capability.guid = MEDIATYPE_Audio;
    capability.MinimumChannels = capability.MaximumChannels = wave->nChannels;
    capability.MinimumBitsPerSample = capability.MaximumBitsPerSample = wave->wBitsPerSample;
    capability.MinimumSampleFrequency = capability.MaximumSampleFrequency = wave->nSamplesPerSec;
    std::memcpy(caps, &capability, std::min<size_t>(sizeof(capability), device.config().capabilitySize));
    return S_OK;
}

STDMETHODIMP OutputPin::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties)
{
    if (properties == nullptr)
        return E_POINTER;
    const Faults& faults = device.config().faults;
    if (FAILED(faults.suggestResult))
        return faults.suggestResult;
    if (peer)
        return VFW_E_ALREADY_CONNECTED;
    device.state().suggested = *properties;
    device.state().wasSuggested = true;
    return S_OK;
}

STDMETHODIMP OutputPin::GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties)
{
    if (properties == nullptr)
        return E_POINTER;
    const Faults& faults = device.config().faults;
    if (FAILED(faults.getAllocatorPropertiesResult))
        return faults.getAllocatorPropertiesResult;
    if (!peer && device.config().allocatorKnownUnconnected) {
        *properties = wantedProperties();
        return S_OK;
    }
    if (!peer || !allocator)
        return E_FAIL;
    return allocator->GetProperties(properties);
}

// --- CaptureFilter -----------------------------------------------------------

CaptureFilter::CaptureFilter(InstalledDevice& device, CLSID filterClass) : device(device), filterClass(filterClass)
{
    setLabel("capture filter");
    for (int i = 0; i < device.config().faults.outputPins; ++i) {
        OutputPin* pin = device.make<OutputPin>(*this, device, i == 0 ? L"Capture" : L"Capture 2");
        pin->setLabel(i == 0 ? "capture pin" : "second capture pin");
        pins.push_back(pin);
    }
}

CaptureFilter::~CaptureFilter()
{
    shutDown();
}

void CaptureFilter::shutDown()
{
    stopStreaming();
}

bool CaptureFilter::queryInterface(REFIID iid, void** out)
{
    const DeviceConfig& config = device.config();
    if (refuses(config, iid))
        return false;
    if (iid == IID_IPersist || iid == IID_IMediaFilter) {
        *out = static_cast<IBaseFilter*>(this);
        return true;
    }
    const bool deckInterface = iid == IID_IAMExtTransport || iid == IID_IAMTimecodeReader;
    if ((deckInterface && !config.isDV()) || (iid == IID_IAMAudioInputMixer && config.isDV()))
        return false;
    return Object::queryInterface(iid, out);
}

std::string mixerGetterName(MixerSetting setting)
{
    static const std::map<MixerSetting, std::string> names = {
        {MixerSetting::Mono, "get_Mono"},     {MixerSetting::MixLevel, "get_MixLevel"},
        {MixerSetting::Pan, "get_Pan"},       {MixerSetting::Loudness, "get_Loudness"},
        {MixerSetting::Treble, "get_Treble"}, {MixerSetting::TrebleRange, "get_TrebleRange"},
        {MixerSetting::Bass, "get_Bass"},     {MixerSetting::BassRange, "get_BassRange"}};
    return names.at(setting);
}

STDMETHODIMP CaptureFilter::put_Enable(WINBOOL)
{
    device.state().mixerCalls.push_back("put_Enable");
    return E_NOTIMPL;
}

STDMETHODIMP CaptureFilter::get_Enable(WINBOOL*)
{
    device.state().mixerCalls.push_back("get_Enable");
    return E_NOTIMPL;
}

HRESULT CaptureFilter::getSetting(MixerSetting setting, double* value)
{
    if (value == nullptr)
        return E_POINTER;
    device.state().mixerCalls.push_back(mixerGetterName(setting));
    const MixerConfig& mixer = device.config().mixer;
    const auto answer = mixer.getResults.find(setting);
    if (answer != mixer.getResults.end() && FAILED(answer->second))
        return answer->second;
    const auto implemented = mixer.settings.find(setting);
    if (implemented == mixer.settings.end())
        return E_NOTIMPL;
    *value = implemented->second;
    return answer != mixer.getResults.end() ? answer->second : S_OK;
}

HRESULT CaptureFilter::getFlag(MixerSetting setting, WINBOOL* value)
{
    if (value == nullptr)
        return E_POINTER;
    double number = 0.0;
    const HRESULT result = getSetting(setting, &number);
    if (SUCCEEDED(result))
        *value = static_cast<WINBOOL>(number);
    return result;
}

HRESULT CaptureFilter::putSetting(MixerSetting setting, double value)
{
    std::ostringstream call;
    call << "put_" << mixerGetterName(setting).substr(4) << " " << value;
    device.state().mixerCalls.push_back(call.str());
    MixerConfig& mixer = device.config().mixer;
    const auto answer = mixer.putResults.find(setting);
    if (answer != mixer.putResults.end())
        return answer->second;
    const auto implemented = mixer.settings.find(setting);
    if (implemented == mixer.settings.end())
        return E_NOTIMPL;
    implemented->second = value;
    return S_OK;
}

STDMETHODIMP CaptureFilter::GetClassID(CLSID* clsid)
{
    if (clsid == nullptr)
        return E_POINTER;
    *clsid = filterClass;
    return S_OK;
}

STDMETHODIMP CaptureFilter::Stop()
{
    stopStreaming();
    for (OutputPin* pin : pins)
        if (pin->sampleAllocator() != nullptr)
            pin->sampleAllocator()->Decommit();
    state = State_Stopped;
    return S_OK;
}

STDMETHODIMP CaptureFilter::Pause()
{
    if (state == State_Stopped)
        for (OutputPin* pin : pins)
            if (pin->receiver() != nullptr && pin->sampleAllocator() != nullptr)
                pin->sampleAllocator()->Commit();
    // A live source delivers nothing while paused. The thread is not joined
    // here: it may be inside Receive of a renderer that is already paused
    // and that lets the sample go only when it is stopped.
    if (state == State_Running)
        holdStreaming();
    state = State_Paused;
    return S_OK;
}

STDMETHODIMP CaptureFilter::Run(REFERENCE_TIME)
{
    if (state == State_Stopped)
        Pause();
    state = State_Running;
    startStreaming();
    return S_OK;
}

STDMETHODIMP CaptureFilter::GetState(DWORD, FILTER_STATE* current)
{
    if (current == nullptr)
        return E_POINTER;
    *current = state;
    // A live source cannot cue data while paused.
    return state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CaptureFilter::GetSyncSource(IReferenceClock** clock)
{
    if (clock == nullptr)
        return E_POINTER;
    *clock = nullptr;
    return S_OK;
}

STDMETHODIMP CaptureFilter::EnumPins(IEnumPins** enumerator)
{
    if (enumerator == nullptr)
        return E_POINTER;
    auto* made = device.make<PinEnumerator>(device, pins.size(), [this](size_t index) {
        pins[index]->AddRef();
        return static_cast<IPin*>(pins[index]);
    });
    made->setLabel("pin enumerator");
    made->AddRef();
    *enumerator = made;
    return S_OK;
}

STDMETHODIMP CaptureFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (id == nullptr || pin == nullptr)
        return E_POINTER;
    *pin = nullptr;
    for (OutputPin* candidate : pins) {
        LPWSTR candidateId = nullptr;
        candidate->QueryId(&candidateId);
        const bool same = lstrcmpW(candidateId, id) == 0;
        CoTaskMemFree(candidateId);
        if (same) {
            candidate->AddRef();
            *pin = candidate;
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CaptureFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (info == nullptr)
        return E_POINTER;
    lstrcpynW(info->achName, graphName.c_str(), MAX_FILTER_NAME);
    info->pGraph = graph;
    if (graph != nullptr)
        graph->AddRef();
    return S_OK;
}

STDMETHODIMP CaptureFilter::JoinFilterGraph(IFilterGraph* joined, LPCWSTR name)
{
    graph = joined;
    graphName = name != nullptr ? name : L"";
    return S_OK;
}

STDMETHODIMP CaptureFilter::put_Mode(LONG mode)
{
    const HRESULT result = device.config().faults.putModeResult;
    if (SUCCEEDED(result))
        device.state().transportMode = mode;
    return result;
}

STDMETHODIMP CaptureFilter::get_Mode(LONG* mode)
{
    if (mode == nullptr)
        return E_POINTER;
    const HRESULT result = device.config().faults.getModeResult;
    if (SUCCEEDED(result))
        *mode = device.state().transportMode;
    return result;
}

STDMETHODIMP CaptureFilter::GetTimecode(PTIMECODE_SAMPLE sample)
{
    if (sample == nullptr)
        return E_POINTER;
    const HRESULT result = device.config().faults.getTimecodeResult;
    if (SUCCEEDED(result))
        sample->timecode.dwFrames = device.config().timecodeAt ? device.config().timecodeAt(device.state().delivered)
                                                                : device.config().timecode;
    return result;
}

void CaptureFilter::startStreaming()
{
    if (pins.empty() || pins.front()->receiver() == nullptr)
        return;
    {
        std::lock_guard<std::mutex> guard(streamLock);
        stopping = false;
        delivering = true;
    }
    wake.notify_all();
    if (!streamer.joinable())
        streamer = std::thread([this] { stream(); });
}

void CaptureFilter::holdStreaming()
{
    std::lock_guard<std::mutex> guard(streamLock);
    delivering = false;
}

void CaptureFilter::stopStreaming()
{
    if (!streamer.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(streamLock);
        stopping = true;
    }
    wake.notify_all();
    streamer.join();
}

bool CaptureFilter::deliverOne(uint32_t sequence)
{
    OutputPin& pin = *pins.front();
    const DeviceConfig& config = device.config();
    DeviceState& deviceState = device.state();
    ComPtr<IMediaSample> sample;
    // Not blocking: a stop must never wait for a buffer.
    if (FAILED(pin.sampleAllocator()->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT)))
        return false;
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    const long length = config.dataLength != 0 ? std::min(config.dataLength, sample->GetSize()) : sample->GetSize();
    if (config.content)
        config.content(bytes, static_cast<size_t>(length), sequence);
    else
        writeFrame(bytes, static_cast<size_t>(length), sequence);
    sample->SetActualDataLength(length);
    sample->SetTime(nullptr, nullptr);
    if (config.setMediaTimes) {
        LONGLONG start = config.mediaTimeBase + sequence;
        LONGLONG stop = start + 1;
        sample->SetMediaTime(&start, &stop);
    } else {
        sample->SetMediaTime(nullptr, nullptr);
    }
    const HRESULT received = pin.receiver()->Receive(sample.Get());
    ++deviceState.delivered;
    if (FAILED(received)) {
        ++deviceState.receiveFailures;
        deviceState.lastReceiveResult = received;
    }
    return true;
}

void CaptureFilter::stream()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const DeviceConfig& config = device.config();
    device.state().streaming = true;
    const auto period = config.sampleRate > 0 ? std::chrono::duration<double>(1.0 / config.sampleRate)
                                              : std::chrono::duration<double>(0);
    auto next = std::chrono::steady_clock::now();
    uint32_t sequence = 0;
    std::unique_lock<std::mutex> guard(streamLock);
    while (!stopping) {
        if (!delivering || (config.sampleLimit != 0 && sequence >= config.sampleLimit)) {
            wake.wait(guard);
            next = std::chrono::steady_clock::now();
            continue;
        }
        guard.unlock();
        const bool delivered = deliverOne(sequence);
        guard.lock();
        if (delivered)
            ++sequence;
        if (!delivered)
            wake.wait_for(guard, std::chrono::milliseconds(1), [this] { return stopping; });
        else if (config.sampleRate > 0) {
            next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
            wake.wait_until(guard, next, [this] { return stopping || !delivering; });
        }
    }
    device.state().streaming = false;
    guard.unlock();
    CoUninitialize();
}

// --- InstalledDevice ---------------------------------------------------------

DeviceConfig DeviceConfig::dv525()
{
    DeviceConfig config;
    config.flavour = Flavour::DV525;
    return config;
}

DeviceConfig DeviceConfig::dv625()
{
    DeviceConfig config;
    config.flavour = Flavour::DV625;
    return config;
}

DeviceConfig DeviceConfig::audio(std::vector<WAVEFORMATEX> formats)
{
    DeviceConfig config;
    config.flavour = Flavour::Audio;
    config.formats = formats.empty() ? std::vector<WAVEFORMATEX>{pcmFormat(2, 48000, 16)} : std::move(formats);
    return config;
}

long DeviceConfig::frameSize() const
{
    return flavour == Flavour::DV525 ? kDV525FrameSize : kDV625FrameSize;
}

WAVEFORMATEX pcmFormat(WORD channels, DWORD samplesPerSecond, WORD bitsPerSample)
{
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = channels;
    wave.nSamplesPerSec = samplesPerSecond;
    wave.wBitsPerSample = bitsPerSample;
    wave.nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
    wave.nAvgBytesPerSec = samplesPerSecond * wave.nBlockAlign;
    wave.cbSize = 0;
    return wave;
}

InstalledDevice::InstalledDevice(DeviceConfig config, std::wstring name, std::wstring key, const GUID* category)
    : configuration(std::move(config))
{
    deviceState.transportMode = configuration.transportMode;
    CoCreateGuid(&filterClass);
    classOverride = std::make_unique<comfake::ClassOverride>(
        filterClass, [this](REFIID iid, void** out) { return createFilter(iid, out); });
    comfake::DeviceEntry entry;
    entry.key = std::move(key);
    entry.friendlyName = std::move(name);
    entry.filterClass = filterClass;
    const GUID& listed = category != nullptr    ? *category
                         : configuration.isDV() ? CLSID_VideoInputDeviceCategory
                                                : CLSID_AudioInputDeviceCategory;
    registration = std::make_unique<comfake::RegisteredDevice>(listed, entry);
}

InstalledDevice::~InstalledDevice()
{
    registration.reset();
    classOverride.reset();
    for (CaptureFilter* filter : filters)
        filter->shutDown();
}

HRESULT InstalledDevice::createFilter(REFIID iid, void** out)
{
    if (FAILED(configuration.createResult))
        return configuration.createResult;
    CaptureFilter* filter = make<CaptureFilter>(*this, filterClass);
    {
        std::lock_guard<std::recursive_mutex> guard(fakesLock);
        filters.push_back(filter);
    }
    ++deviceState.filtersCreated;
    return filter->QueryInterface(iid, out);
}

std::vector<std::string> InstalledDevice::unbalanced() const
{
    std::lock_guard<std::recursive_mutex> guard(fakesLock);
    return fakes.unbalanced();
}

} // namespace capdev
