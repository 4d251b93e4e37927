// In-process fakes of the capture graph builder, filter graph, Sample Grabber
// and Null Renderer, for what Wine's real components cannot be made to do: a
// failure at each build step, Run answering S_FALSE with a time-out or
// another state, a connection of a type the real Sample Grabber would refuse.
// While a FakeGraph lives, CoCreateInstance of those four classes in this
// process reaches it. The fakes hold no references of their own, so every
// count comes back to 0 when the code under test releases what it took.
#pragma once

#include "capture_filter.h"
#include "com_fakes.h"

#include <dshow.h>
#include <qedit.h>

#include <memory>
#include <string>
#include <vector>

namespace capdev {

struct FakeGraphConfig {
    // The result each step of building a graph gets (S_OK: it succeeds).
    HRESULT createBuilder = S_OK;
    HRESULT createFilterGraph = S_OK;
    HRESULT setFiltergraph = S_OK;
    bool refuseMediaControl = false;
    HRESULT addDevice = S_OK;
    HRESULT createGrabber = S_OK;
    HRESULT addGrabber = S_OK;
    bool refuseSampleGrabber = false;
    HRESULT setMediaType = S_OK;
    HRESULT createRenderer = S_OK;
    HRESULT addRenderer = S_OK;
    HRESULT renderStream = S_OK;
    HRESULT getConnectedMediaType = S_OK;
    HRESULT setCallback = S_OK;
    // What SetCallback(none), the detach, answers; a failure keeps the callback.
    HRESULT detachCallback = S_OK;
    // Running and stopping.
    HRESULT run = S_OK;
    HRESULT getState = S_OK;
    OAFilterState reportedState = State_Running;
    HRESULT stop = S_OK;
    // What the Sample Grabber reports as connected.
    AM_MEDIA_TYPE connected{};
};

class FakeGraph {
public:
    explicit FakeGraph(FakeGraphConfig config);
    ~FakeGraph();
    FakeGraph(const FakeGraph&) = delete;
    FakeGraph& operator=(const FakeGraph&) = delete;

    FakeGraphConfig& config() { return configuration; }
    std::vector<std::string> unbalanced() const { return fakes.unbalanced(); }
    // The calls that matter for ordering, in order: "Run", "GetState 5000",
    // "Stop", "SetCallback", "SetCallback(none)", "RenderStream".
    const std::vector<std::string>& calls() const { return log; }
    // The callback the Sample Grabber would call now and holds a reference
    // to, or null.
    ISampleGrabberCB* attachedCallback() const { return callback; }
    // The Sample Grabber, for a test that keeps it alive as a filter graph
    // would; no reference is added.
    IBaseFilter* sampleGrabber() const { return grabber; }
    AM_MEDIA_TYPE grabberMediaType() const { return grabberType; }

    void record(std::string call) { log.push_back(std::move(call)); }
    void attach(ISampleGrabberCB* attached) { callback = attached; }
    void setGrabberType(const AM_MEDIA_TYPE& type) { grabberType = type; }

private:
    FakeGraphConfig configuration;
    comfake::Fakes fakes;
    std::vector<std::string> log;
    ISampleGrabberCB* callback = nullptr;
    IBaseFilter* grabber = nullptr;
    AM_MEDIA_TYPE grabberType{};
    std::vector<std::unique_ptr<comfake::ClassOverride>> overrides;
};

// The DV media type the Sample Grabber reports for a DV device of `frameSize`.
AM_MEDIA_TYPE dvConnection(long frameSize);
// The audio type; `major` and `subtype` as given.
AM_MEDIA_TYPE audioConnection(GUID major = MEDIATYPE_Audio, GUID subtype = MEDIASUBTYPE_PCM);

} // namespace capdev
