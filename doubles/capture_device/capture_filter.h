// The capture source filter and its output pin (see capture_device.h).
#pragma once

#include "capture_device.h"
#include "capture/interface_ids.h"

#include <dshow.h>
#include <wrl/client.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace capdev {

class CaptureFilter;

// An AM_MEDIA_TYPE with its format block, owned by value.
class MediaType {
public:
    MediaType() = default;
    explicit MediaType(const AM_MEDIA_TYPE& type);
    MediaType(const MediaType& other) : MediaType(other.type) {}
    MediaType& operator=(const MediaType& other);
    ~MediaType();

    const AM_MEDIA_TYPE& get() const { return type; }
    // A copy allocated as DirectShow hands them over (CoTaskMemAlloc).
    AM_MEDIA_TYPE* newCopy() const;
    void copyTo(AM_MEDIA_TYPE& target) const;

private:
    void clear();
    AM_MEDIA_TYPE type{};
};

class OutputPin : public comfake::Object<IPin, IKsPropertySet, IAMStreamConfig, IAMBufferNegotiation> {
public:
    OutputPin(CaptureFilter& filter, InstalledDevice& device, std::wstring name);
    ~OutputPin() override;

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) override;
    STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mediaType) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mediaType) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IKsPropertySet
    STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size, DWORD* returned) override;
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* mediaType) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** mediaType) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** mediaType, BYTE* caps) override;

    // IAMBufferNegotiation
    STDMETHODIMP SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties) override;

    // For the filter's streaming thread and state changes.
    IMemInputPin* receiver() const { return memInput.Get(); }
    IMemAllocator* sampleAllocator() const { return allocator.Get(); }
    const std::vector<MediaType>& mediaTypes() const { return types; }

protected:
    bool queryInterface(REFIID iid, void** out) override;

private:
    HRESULT tryConnect(IPin* receivePin, const MediaType& type);
    HRESULT decideAllocator(IMemInputPin& input);
    ALLOCATOR_PROPERTIES wantedProperties() const;
    MediaType streamType(const WAVEFORMATEX* wave) const;

    CaptureFilter& filter;
    InstalledDevice& device;
    std::wstring name;
    std::vector<MediaType> types; // what EnumMediaTypes offers
    size_t currentFormat = 0;     // audio: index into device formats
    Microsoft::WRL::ComPtr<IPin> peer;
    Microsoft::WRL::ComPtr<IMemInputPin> memInput;
    Microsoft::WRL::ComPtr<IMemAllocator> allocator; // kept for the pin's life
    MediaType connected;
};

class CaptureFilter : public comfake::Object<IBaseFilter, IAMExtTransport, IAMTimecodeReader, IAMAudioInputMixer> {
public:
    CaptureFilter(InstalledDevice& device, CLSID filterClass);
    ~CaptureFilter() override;

    // IPersist, IMediaFilter, IBaseFilter
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // IAMExtTransport: the mode; everything else is not supported.
    STDMETHODIMP put_Mode(LONG mode) override;
    STDMETHODIMP get_Mode(LONG* mode) override;
    STDMETHODIMP GetCapability(LONG, LONG*, double*) override { return E_NOTIMPL; }
    STDMETHODIMP put_MediaState(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_MediaState(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_LocalControl(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_LocalControl(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetStatus(LONG, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTransportBasicParameters(LONG, LONG*, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetTransportBasicParameters(LONG, LONG, LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetTransportVideoParameters(LONG, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetTransportVideoParameters(LONG, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetTransportAudioParameters(LONG, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetTransportAudioParameters(LONG, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP put_Rate(double) override { return E_NOTIMPL; }
    STDMETHODIMP get_Rate(double*) override { return E_NOTIMPL; }
    STDMETHODIMP GetChase(LONG*, LONG*, HEVENT*) override { return E_NOTIMPL; }
    STDMETHODIMP SetChase(LONG, LONG, HEVENT) override { return E_NOTIMPL; }
    STDMETHODIMP GetBump(LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetBump(LONG, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_AntiClogControl(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_AntiClogControl(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetEditPropertySet(LONG, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetEditPropertySet(LONG*, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP GetEditProperty(LONG, LONG, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetEditProperty(LONG, LONG, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_EditStart(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_EditStart(LONG) override { return E_NOTIMPL; }

    // IAMTimecodeReader: the packed timecode word.
    STDMETHODIMP GetTimecode(PTIMECODE_SAMPLE sample) override;
    STDMETHODIMP GetTCRMode(LONG, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetTCRMode(LONG, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP put_VITCLine(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_VITCLine(LONG*) override { return E_NOTIMPL; }

    // IAMAudioInputMixer: the settings of the device's MixerConfig; the
    // enable flag is not supported.
    STDMETHODIMP put_Enable(WINBOOL) override;
    STDMETHODIMP get_Enable(WINBOOL*) override;
    STDMETHODIMP put_Mono(WINBOOL mono) override { return putSetting(MixerSetting::Mono, mono); }
    STDMETHODIMP get_Mono(WINBOOL* mono) override { return getFlag(MixerSetting::Mono, mono); }
    STDMETHODIMP put_MixLevel(double level) override { return putSetting(MixerSetting::MixLevel, level); }
    STDMETHODIMP get_MixLevel(double* level) override { return getSetting(MixerSetting::MixLevel, level); }
    STDMETHODIMP put_Pan(double pan) override { return putSetting(MixerSetting::Pan, pan); }
    STDMETHODIMP get_Pan(double* pan) override { return getSetting(MixerSetting::Pan, pan); }
    STDMETHODIMP put_Loudness(WINBOOL loudness) override { return putSetting(MixerSetting::Loudness, loudness); }
    STDMETHODIMP get_Loudness(WINBOOL* loudness) override { return getFlag(MixerSetting::Loudness, loudness); }
    STDMETHODIMP put_Treble(double treble) override { return putSetting(MixerSetting::Treble, treble); }
    STDMETHODIMP get_Treble(double* treble) override { return getSetting(MixerSetting::Treble, treble); }
    STDMETHODIMP get_TrebleRange(double* range) override { return getSetting(MixerSetting::TrebleRange, range); }
    STDMETHODIMP put_Bass(double bass) override { return putSetting(MixerSetting::Bass, bass); }
    STDMETHODIMP get_Bass(double* bass) override { return getSetting(MixerSetting::Bass, bass); }
    STDMETHODIMP get_BassRange(double* range) override { return getSetting(MixerSetting::BassRange, range); }

    // Stops streaming; the pins stay.
    void shutDown();

protected:
    bool queryInterface(REFIID iid, void** out) override;

private:
    HRESULT getSetting(MixerSetting setting, double* value);
    HRESULT getFlag(MixerSetting setting, WINBOOL* value);
    HRESULT putSetting(MixerSetting setting, double value);

    void startStreaming();
    void holdStreaming();
    void stopStreaming();
    void stream();
    bool deliverOne(uint32_t sequence);

    InstalledDevice& device;
    CLSID filterClass;
    std::vector<OutputPin*> pins;
    IFilterGraph* graph = nullptr; // not referenced: the graph owns the filter
    std::wstring graphName;
    FILTER_STATE state = State_Stopped;

    std::mutex streamLock;
    std::condition_variable wake;
    bool stopping = false;
    bool delivering = false;
    std::thread streamer;
};

// "get_Mono", "get_TrebleRange" and so on.
std::string mixerGetterName(MixerSetting setting);

// True when `iid` is in the device's refused list.
bool refuses(const DeviceConfig& config, REFIID iid);

} // namespace capdev
