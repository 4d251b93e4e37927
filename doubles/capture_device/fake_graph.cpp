#include "fake_graph.h"

#include "boundary/guids.h"

namespace capdev {
namespace {

// IBaseFilter with nothing behind it.
template <typename... More>
class IdleFilter : public comfake::Object<IBaseFilter, More...> {
public:
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return S_OK; }
    STDMETHODIMP Pause() override { return S_OK; }
    STDMETHODIMP Run(REFERENCE_TIME) override { return S_OK; }
    STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override
    {
        *state = State_Stopped;
        return S_OK;
    }
    STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override
    {
        *clock = nullptr;
        return S_OK;
    }
    STDMETHODIMP EnumPins(IEnumPins**) override { return E_NOTIMPL; }
    STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
};

class FakeSampleGrabber : public IdleFilter<ISampleGrabber> {
public:
    explicit FakeSampleGrabber(FakeGraph& graph) : graph(graph) { setLabel("fake sample grabber"); }

    STDMETHODIMP SetOneShot(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* type) override
    {
        if (SUCCEEDED(graph.config().setMediaType))
            graph.setGrabberType(*type);
        return graph.config().setMediaType;
    }
    STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* type) override
    {
        if (FAILED(graph.config().getConnectedMediaType))
            return graph.config().getConnectedMediaType;
        MediaType(graph.config().connected).copyTo(*type);
        return S_OK;
    }
    STDMETHODIMP SetBufferSamples(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentBuffer(LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    // As the real one: holds a reference to the attached callback, and lets
    // the previous one go when another (or none) is attached.
    STDMETHODIMP SetCallback(ISampleGrabberCB* callback, LONG) override
    {
        graph.record(callback != nullptr ? "SetCallback" : "SetCallback(none)");
        const HRESULT result = callback != nullptr ? graph.config().setCallback : graph.config().detachCallback;
        if (FAILED(result))
            return result;
        if (callback != nullptr)
            callback->AddRef();
        if (ISampleGrabberCB* const previous = graph.attachedCallback())
            previous->Release();
        graph.attach(callback);
        return result;
    }

    // The real Sample Grabber releases its callback when it is destroyed,
    // that is when its last reference goes.
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = Object::Release();
        if (left == 0) {
            if (ISampleGrabberCB* const held = graph.attachedCallback())
                held->Release();
            graph.attach(nullptr);
        }
        return left;
    }

protected:
    bool queryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISampleGrabber && graph.config().refuseSampleGrabber)
            return false;
        return Object::queryInterface(iid, out);
    }

private:
    FakeGraph& graph;
};

class FakeFilterGraph : public comfake::Object<IGraphBuilder, IMediaControl> {
public:
    explicit FakeFilterGraph(FakeGraph& graph) : graph(graph) { setLabel("fake filter graph"); }

    STDMETHODIMP AddFilter(IBaseFilter*, LPCWSTR name) override
    {
        const std::wstring filter = name != nullptr ? name : L"";
        if (filter == L"Capture Device")
            return graph.config().addDevice;
        if (filter == L"Sample Grabber")
            return graph.config().addGrabber;
        if (filter == L"Null Renderer")
            return graph.config().addRenderer;
        return E_UNEXPECTED;
    }
    STDMETHODIMP RemoveFilter(IBaseFilter*) override { return S_OK; }
    STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Disconnect(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP SetDefaultSyncSource() override { return S_OK; }
    STDMETHODIMP Connect(IPin*, IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP Render(IPin*) override { return E_NOTIMPL; }
    STDMETHODIMP RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    STDMETHODIMP SetLogFile(DWORD_PTR) override { return E_NOTIMPL; }
    STDMETHODIMP Abort() override { return E_NOTIMPL; }
    STDMETHODIMP ShouldOperationContinue() override { return S_OK; }

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Run() override
    {
        graph.record("Run");
        return graph.config().run;
    }
    STDMETHODIMP Pause() override { return S_OK; }
    STDMETHODIMP Stop() override
    {
        graph.record("Stop");
        return graph.config().stop;
    }
    STDMETHODIMP GetState(LONG timeout, OAFilterState* state) override
    {
        graph.record("GetState " + std::to_string(timeout));
        *state = graph.config().reportedState;
        return graph.config().getState;
    }
    STDMETHODIMP RenderFile(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP AddSourceFilter(BSTR, IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_FilterCollection(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegFilterCollection(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP StopWhenReady() override { return E_NOTIMPL; }

protected:
    bool queryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IFilterGraph) {
            *out = static_cast<IGraphBuilder*>(this);
            return true;
        }
        if (iid == IID_IMediaControl && graph.config().refuseMediaControl)
            return false;
        return Object::queryInterface(iid, out);
    }

private:
    FakeGraph& graph;
};

class FakeBuilder : public comfake::Object<ICaptureGraphBuilder2> {
public:
    explicit FakeBuilder(FakeGraph& graph) : graph(graph) { setLabel("fake capture graph builder"); }

    STDMETHODIMP SetFiltergraph(IGraphBuilder*) override { return graph.config().setFiltergraph; }
    STDMETHODIMP GetFiltergraph(IGraphBuilder**) override { return E_NOTIMPL; }
    STDMETHODIMP SetOutputFileName(const GUID*, LPCOLESTR, IBaseFilter**, IFileSinkFilter**) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP FindInterface(const GUID*, const GUID*, IBaseFilter*, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP RenderStream(const GUID*, const GUID*, IUnknown*, IBaseFilter*, IBaseFilter*) override
    {
        graph.record("RenderStream");
        return graph.config().renderStream;
    }
    STDMETHODIMP ControlStream(const GUID*, const GUID*, IBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*, WORD,
                               WORD) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP AllocCapFile(LPCOLESTR, DWORDLONG) override { return E_NOTIMPL; }
    STDMETHODIMP CopyCaptureFile(LPOLESTR, LPOLESTR, int, IAMCopyCaptureFileProgress*) override { return E_NOTIMPL; }
    STDMETHODIMP FindPin(IUnknown*, PIN_DIRECTION, const GUID*, const GUID*, BOOL, int, IPin**) override
    {
        return E_NOTIMPL;
    }

private:
    FakeGraph& graph;
};

template <typename T>
std::unique_ptr<comfake::ClassOverride> serve(REFCLSID clsid, T* object, const HRESULT& creation)
{
    return std::make_unique<comfake::ClassOverride>(clsid, [object, &creation](REFIID iid, void** out) {
        if (FAILED(creation))
            return creation;
        return object->QueryInterface(iid, out);
    });
}

} // namespace

FakeGraph::FakeGraph(FakeGraphConfig config) : configuration(config)
{
    auto* builder = fakes.make<FakeBuilder>(*this);
    auto* filterGraph = fakes.make<FakeFilterGraph>(*this);
    auto* fakeGrabber = fakes.make<FakeSampleGrabber>(*this);
    grabber = fakeGrabber;
    auto* renderer = fakes.make<IdleFilter<>>();
    renderer->setLabel("fake null renderer");
    overrides.push_back(serve(CLSID_CaptureGraphBuilder2, builder, configuration.createBuilder));
    overrides.push_back(serve(CLSID_FilterGraph, filterGraph, configuration.createFilterGraph));
    overrides.push_back(serve(pellux::CLSID_SampleGrabber, fakeGrabber, configuration.createGrabber));
    overrides.push_back(serve(pellux::CLSID_NullRenderer, renderer, configuration.createRenderer));
}

FakeGraph::~FakeGraph()
{
    overrides.clear();
}

AM_MEDIA_TYPE dvConnection(long frameSize)
{
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Interleaved;
    type.subtype = MEDIASUBTYPE_dvsd;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = frameSize;
    type.formattype = FORMAT_DvInfo;
    return type;
}

AM_MEDIA_TYPE audioConnection(GUID major, GUID subtype)
{
    AM_MEDIA_TYPE type{};
    type.majortype = major;
    type.subtype = subtype;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = 4;
    type.formattype = FORMAT_WaveFormatEx;
    return type;
}

} // namespace capdev
