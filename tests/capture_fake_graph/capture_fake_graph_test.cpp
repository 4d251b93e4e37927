// Graphs built from fakes of the capture graph builder, filter graph, Sample
// Grabber and Null Renderer ("FakeGraph" in each test's name); the device is
// still the test capture device, bound through the real device enumerator.
#include "pellux_test_support.h"
#include "task_memory_check.h"
#include "allocation_counter.h"
#include "boundary/device_list.h"
#include "boundary/handle.h"
#include "capture/dv_sample_capture_graph.h"
#include "capture_device.h"
#include "fake_graph.h"
#include "media_sample.h"
#include "strict_jni_gtest.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using testsupport::kCOMException;
using testsupport::kRuntimeException;
using Apartment = testsupport::MultithreadedApartment;
constexpr long kFrameSize = capdev::kDV625FrameSize;

class FakeGraphCapture : public comfake::TaskMemoryCheck {
protected:
    void SetUp() override { strictjni::failTestOnViolation(jni); }
    void TearDown() override
    {
        close();
        if (list != 0)
            jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
    }

    // A graph of fakes around a registered test device of `deviceConfig`.
    void prepare(capdev::FakeGraphConfig graphConfig, capdev::DeviceConfig deviceConfig)
    {
        deviceConfig.allocatorKnownUnconnected = true;
        close();
        if (list != 0)
            jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
        graph.reset();
        installed.reset();
        installed = std::make_unique<capdev::InstalledDevice>(deviceConfig, L"Test Device");
        graph = std::make_unique<capdev::FakeGraph>(graphConfig);
        list = deviceConfig.isDV() ? jni.call(Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList)
                                   : jni.call(Java_orlesk_tavrin_pellux_Pellux_openAudioDeviceList);
        jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    }

    jlong open()
    {
        device = jni.call(Java_orlesk_tavrin_pellux_Pellux_openDevice, list, 0);
        return device;
    }

    // A DV device opened on a graph of `graphConfig` and started.
    void startDV(const capdev::FakeGraphConfig& graphConfig)
    {
        prepare(graphConfig, capdev::DeviceConfig::dv625());
        ASSERT_NE(open(), 0) << comFailure().first;
        jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
        ASSERT_EQ(jni.thrown(), nullptr) << comFailure().first;
    }

    void close()
    {
        if (device != 0)
            jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDevice, device);
        device = 0;
    }

    // The COM failure the last call threw: message and HRESULT.
    std::pair<std::string, HRESULT> comFailure()
    {
        strictjni::ObjectPtr thrown = jni.thrown();
        if (!thrown)
            return {"nothing thrown", S_OK};
        if (thrown->className() != kCOMException)
            return {thrown->className() + ": " + thrown->message(), S_OK};
        return {thrown->constructorArgs[0].utf8(), thrown->constructorArgs[1].i()};
    }

    std::string runtimeFailure()
    {
        strictjni::ObjectPtr thrown = jni.thrown();
        if (!thrown)
            return "nothing thrown";
        return thrown->className() == kRuntimeException ? thrown->message() : thrown->className();
    }

    // Feeds one DV sample to the attached callback, as the streaming thread would.
    void deliver(uint32_t sequence, LONGLONG mediaTime)
    {
        capdev::writeFrame(sample.bytes().data(), kFrameSize, sequence);
        sample.setMediaTime(&mediaTime);
        ASSERT_NE(graph->attachedCallback(), nullptr);
        ASSERT_EQ(graph->attachedCallback()->SampleCB(0.0, &sample), S_OK);
    }

    Apartment apartment;
    strictjni::StrictJni jni;
    std::unique_ptr<capdev::InstalledDevice> installed;
    std::unique_ptr<capdev::FakeGraph> graph;
    capdev::FakeMediaSample sample{kFrameSize};
    jlong list = 0;
    jlong device = 0;
};

capdev::FakeGraphConfig dvGraph()
{
    capdev::FakeGraphConfig config;
    config.connected = capdev::dvConnection(kFrameSize);
    return config;
}

capdev::FakeGraphConfig audioGraph(GUID major = MEDIATYPE_Audio, GUID subtype = MEDIASUBTYPE_PCM)
{
    capdev::FakeGraphConfig config;
    config.connected = capdev::audioConnection(major, subtype);
    return config;
}

// --- building ------------------------------------------------------------------

struct BuildFailure {
    const char* name;
    std::function<void(capdev::FakeGraphConfig&, capdev::DeviceConfig&)> fault;
    const char* message;
    HRESULT hresult;
    bool audio = false;
};

class FakeGraphBuildFailure : public FakeGraphCapture, public ::testing::WithParamInterface<BuildFailure> {};

TEST_P(FakeGraphBuildFailure, ReachesJavaAndLeavesNoReferenceOrCallbackBehind)
{
    const BuildFailure& failure = GetParam();
    capdev::FakeGraphConfig graphConfig = failure.audio ? audioGraph() : dvGraph();
    capdev::DeviceConfig deviceConfig = failure.audio ? capdev::DeviceConfig::audio() : capdev::DeviceConfig::dv625();
    failure.fault(graphConfig, deviceConfig);
    prepare(graphConfig, deviceConfig);
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(comFailure(), std::make_pair(std::string(failure.message), failure.hresult));
    EXPECT_EQ(graph->attachedCallback(), nullptr);
    EXPECT_THAT(graph->unbalanced(), IsEmpty());
    EXPECT_THAT(installed->unbalanced(), IsEmpty());
}

constexpr HRESULT kStepFailure = static_cast<HRESULT>(0x80040217); // VFW_E_CANNOT_CONNECT

const BuildFailure kBuildFailures[] = {
    {"CaptureGraphBuilderNotCreated", [](auto& g, auto&) { g.createBuilder = REGDB_E_CLASSNOTREG; },
     "CoCreateInstance failed - couldn't create CaptureGraphBuilder2.", REGDB_E_CLASSNOTREG},
    {"FilterGraphNotCreated", [](auto& g, auto&) { g.createFilterGraph = E_OUTOFMEMORY; },
     "CoCreateInstance failed - couldn't create FilterGraph.", E_OUTOFMEMORY},
    {"FilterGraphNotTaken", [](auto& g, auto&) { g.setFiltergraph = E_UNEXPECTED; },
     "Failed to set capture graph builder's filter graph", E_UNEXPECTED},
    {"NoMediaControl", [](auto& g, auto&) { g.refuseMediaControl = true; },
     "Failed to get IMediaControl interface from filter graph.", E_NOINTERFACE},
    {"DeviceNotBound", [](auto&, auto& d) { d.createResult = E_ACCESSDENIED; },
     "BindToObject failed to get device filter from moniker.", E_ACCESSDENIED},
    {"DeviceNotAdded", [](auto& g, auto&) { g.addDevice = kStepFailure; },
     "Failed to add device filter to filter graph.", kStepFailure},
    {"SampleGrabberNotCreated", [](auto& g, auto&) { g.createGrabber = REGDB_E_CLASSNOTREG; },
     "CoCreateInstance failed - couldn't create SampleGrabber.", REGDB_E_CLASSNOTREG},
    {"SampleGrabberNotAdded", [](auto& g, auto&) { g.addGrabber = kStepFailure; },
     "Failed to add sample grabber to filter graph.", kStepFailure},
    {"NoSampleGrabberInterface", [](auto& g, auto&) { g.refuseSampleGrabber = true; },
     "Failed to get ISampleGrabber interface from sample grabber.", E_NOINTERFACE},
    {"GrabberTypeRefused", [](auto& g, auto&) { g.setMediaType = E_INVALIDARG; },
     "Failed to set sample grabber media type.", E_INVALIDARG},
    {"NullRendererNotCreated", [](auto& g, auto&) { g.createRenderer = REGDB_E_CLASSNOTREG; },
     "CoCreateInstance failed - couldn't create NullRenderer.", REGDB_E_CLASSNOTREG},
    {"NullRendererNotAdded", [](auto& g, auto&) { g.addRenderer = kStepFailure; },
     "Failed to add null renderer to filter graph.", kStepFailure},
    {"StreamNotRendered", [](auto& g, auto&) { g.renderStream = kStepFailure; }, "Failed to connect filters together.",
     kStepFailure},
    {"ConnectedTypeUnreadable", [](auto& g, auto&) { g.getConnectedMediaType = VFW_E_NOT_CONNECTED; },
     "Failed to get media type from sample grabber.", VFW_E_NOT_CONNECTED},
    {"CallbackNotAttached", [](auto& g, auto&) { g.setCallback = E_POINTER; },
     "Failed to associated sample grabber callback with sample grabber", E_POINTER},
    {"AudioConnectedAsVideo",
     [](auto& g, auto&) { g.connected = capdev::audioConnection(MEDIATYPE_Video, MEDIASUBTYPE_PCM); },
     "The device is not an audio input.", E_INVALIDARG, true},
    {"AudioConnectedAsAnotherSubtype",
     [](auto& g, auto&) { g.connected = capdev::audioConnection(MEDIATYPE_Audio, MEDIASUBTYPE_IEEE_FLOAT); },
     "Expected the device to use the MEDIASUBTYPE_PCM media subtype.", E_INVALIDARG, true},
    {"AudioFormatAnsweredWithoutAType", [](auto&, auto& d) { d.faults.getFormatHandsNothing = true; },
     "Failed to get format from stream config.", E_UNEXPECTED, true},
    {"AudioConnectedTypeUnreadable", [](auto& g, auto&) { g.getConnectedMediaType = E_UNEXPECTED; },
     "Failed to get media type from sample grabber.", E_UNEXPECTED, true},
};

INSTANTIATE_TEST_SUITE_P(Steps, FakeGraphBuildFailure, ::testing::ValuesIn(kBuildFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeGraphCapture, FakeGraphAsksTheSampleGrabberForTheDevicesKindOfStream)
{
    prepare(dvGraph(), capdev::DeviceConfig::dv625());
    ASSERT_NE(open(), 0) << comFailure().first;
    EXPECT_EQ(graph->grabberMediaType().majortype, MEDIATYPE_Interleaved);
    EXPECT_EQ(graph->grabberMediaType().subtype, GUID_NULL);
    EXPECT_EQ(graph->grabberMediaType().formattype, GUID_NULL);
    close();
    prepare(audioGraph(), capdev::DeviceConfig::audio());
    ASSERT_NE(open(), 0) << comFailure().first;
    EXPECT_EQ(graph->grabberMediaType().majortype, MEDIATYPE_Audio);
    EXPECT_EQ(graph->grabberMediaType().subtype, MEDIASUBTYPE_PCM);
    EXPECT_EQ(graph->grabberMediaType().formattype, GUID_NULL);
}

TEST_F(FakeGraphCapture, AnIndexOutsideTheListOpensNothing)
{
    prepare(dvGraph(), capdev::DeviceConfig::dv625());
    for (jint index : {-1, 1}) {
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_openDevice, list, index), 0);
        EXPECT_EQ(runtimeFailure(), "Device index is out of range.");
    }
    EXPECT_EQ(installed->filtersCreated(), 0);
    EXPECT_THAT(graph->calls(), IsEmpty());
}

TEST_F(FakeGraphCapture, ADeviceOfAnotherCategoryOpensNothing)
{
    Apartment inner;
    GUID category{};
    CoCreateGuid(&category);
    capdev::InstalledDevice other(capdev::DeviceConfig::dv625(), L"Other Device", L"tavrin-other-device", &category);
    graph = std::make_unique<capdev::FakeGraph>(dvGraph());
    pellux::DeviceList devices(category);
    devices.load();
    ASSERT_EQ(devices.getCount(), 1);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_openDevice, pellux::toHandle(&devices), 0), 0);
    EXPECT_EQ(runtimeFailure(), "Device type not recognised.");
    EXPECT_EQ(other.filtersCreated(), 0);
    EXPECT_THAT(graph->calls(), IsEmpty());
}

// --- running -------------------------------------------------------------------

struct StartCase {
    const char* name;
    HRESULT run;
    HRESULT getState;
    OAFilterState reported;
    std::vector<std::string> calls; // after "RenderStream", "SetCallback"
    const char* message;            // null: capture starts
    HRESULT hresult;
};

class FakeGraphStart : public FakeGraphCapture, public ::testing::WithParamInterface<StartCase> {};

TEST_P(FakeGraphStart, WaitsOnceForAGraphThatIsStillChangingState)
{
    const StartCase& start = GetParam();
    capdev::FakeGraphConfig config = dvGraph();
    config.run = start.run;
    config.getState = start.getState;
    config.reportedState = start.reported;
    prepare(config, capdev::DeviceConfig::dv625());
    ASSERT_NE(open(), 0) << comFailure().first;
    jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
    if (start.message == nullptr)
        EXPECT_EQ(jni.thrown(), nullptr) << comFailure().first;
    else
        EXPECT_EQ(comFailure(), std::make_pair(std::string(start.message), start.hresult));
    std::vector<std::string> expected = {"RenderStream", "SetCallback"};
    expected.insert(expected.end(), start.calls.begin(), start.calls.end());
    EXPECT_EQ(graph->calls(), expected);
}

const StartCase kStarts[] = {
    {"RunningAtOnce", S_OK, S_OK, State_Running, {"Run"}, nullptr, S_OK},
    {"RunningWithinTheWait", S_FALSE, S_OK, State_Running, {"Run", "GetState 5000"}, nullptr, S_OK},
    {"StillIntermediateAfterTheWait",
     S_FALSE,
     VFW_S_STATE_INTERMEDIATE,
     State_Paused,
     {"Run", "GetState 5000", "Stop"},
     "Timed out waiting for filter graph to start running.",
     VFW_S_STATE_INTERMEDIATE},
    {"InAnotherStateAfterTheWait",
     S_FALSE,
     S_OK,
     State_Paused,
     {"Run", "GetState 5000", "Stop"},
     "Timed out waiting for filter graph to start running.",
     S_OK},
    {"WaitFailing",
     S_FALSE,
     E_FAIL,
     State_Stopped,
     {"Run", "GetState 5000", "Stop"},
     "Timed out waiting for filter graph to start running.",
     E_FAIL},
    {"RunFailing", VFW_E_NO_CLOCK, S_OK, State_Running, {"Run"}, "Failed to run filter graph.", VFW_E_NO_CLOCK},
    {"RunAnsweringAnotherSuccessCode", VFW_S_CANT_CUE, S_OK, State_Paused, {"Run"}, nullptr, S_OK},
};

INSTANTIATE_TEST_SUITE_P(Answers, FakeGraphStart, ::testing::ValuesIn(kStarts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeGraphCapture, FakeGraphStopFailureReachesJava)
{
    capdev::FakeGraphConfig config = dvGraph();
    config.stop = E_UNEXPECTED;
    prepare(config, capdev::DeviceConfig::dv625());
    ASSERT_NE(open(), 0) << comFailure().first;
    jni.call(Java_orlesk_tavrin_pellux_Pellux_stopCapturing, device);
    EXPECT_EQ(comFailure(), std::make_pair(std::string("Failed to stop running filter graph."), E_UNEXPECTED));
}

TEST_F(FakeGraphCapture, FakeGraphClosingStopsTheGraphBeforeTheCallbackIsDetached)
{
    prepare(dvGraph(), capdev::DeviceConfig::dv625());
    ASSERT_NE(open(), 0) << comFailure().first;
    jni.call(Java_orlesk_tavrin_pellux_Pellux_startCapturing, device);
    close();
    EXPECT_THAT(graph->calls(), ElementsAre("RenderStream", "SetCallback", "Run", "Stop", "SetCallback(none)"));
    EXPECT_EQ(graph->attachedCallback(), nullptr);
    EXPECT_THAT(graph->unbalanced(), IsEmpty());
    EXPECT_THAT(installed->unbalanced(), IsEmpty());
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDevice, jlong{0}); // 0 does nothing
}

TEST_F(FakeGraphCapture, FakeGraphClosingAGraphThatDoesNotStopDetachesTheCallbackButNeverFreesIt)
{
    capdev::FakeGraphConfig config = dvGraph();
    config.stop = VFW_E_WRONG_STATE;
    ASSERT_NO_FATAL_FAILURE(startDV(config));

    // The streaming thread of a graph that cannot stop keeps delivering to
    // the callback it took, whatever the Sample Grabber was told meanwhile.
    ISampleGrabberCB* const streaming = graph->attachedCallback();
    ASSERT_NE(streaming, nullptr);
    std::atomic<bool> flowing{true};
    std::atomic<int> refused{0};
    std::thread samples([&] {
        capdev::FakeMediaSample own{kFrameSize};
        for (uint32_t sequence = 0; flowing.load(); ++sequence) {
            capdev::writeFrame(own.bytes().data(), kFrameSize, sequence);
            if (streaming->SampleCB(0.0, &own) != S_OK)
                ++refused;
        }
    });
    {
        allocations::Quarantine freed;
        close();
        EXPECT_EQ(graph->attachedCallback(), nullptr);
        EXPECT_FALSE(freed.holds(static_cast<pellux::SampleGrabberCallback*>(streaming)));
        flowing.store(false);
        samples.join();
    }
    EXPECT_EQ(refused.load(), 0);
    EXPECT_THAT(graph->calls(), ElementsAre("RenderStream", "SetCallback", "Run", "Stop", "SetCallback(none)"));
    EXPECT_THAT(graph->unbalanced(), IsEmpty());
}

// The real Sample Grabber holds a reference to its callback until another is
// attached or it is destroyed; a refused detach leaves that reference with it.
TEST_F(FakeGraphCapture, FakeGraphClosingAGraphWhoseCallbackCannotBeDetachedNeverFreesIt)
{
    capdev::FakeGraphConfig config = dvGraph();
    config.detachCallback = E_UNEXPECTED;
    ASSERT_NO_FATAL_FAILURE(startDV(config));
    ISampleGrabberCB* const held = graph->attachedCallback();
    ASSERT_NE(held, nullptr);

    // The filter graph's own reference keeps the Sample Grabber alive past the close.
    IBaseFilter* const grabber = graph->sampleGrabber();
    grabber->AddRef();
    bool callbackFreed = false;
    {
        allocations::Quarantine freed;
        close();
        callbackFreed = freed.holds(static_cast<pellux::SampleGrabberCallback*>(held));
    }
    // Stops here when it was freed: the grabber would release freed memory.
    ASSERT_FALSE(callbackFreed) << "the callback the Sample Grabber still holds was deleted";
    EXPECT_THAT(graph->calls(), ElementsAre("RenderStream", "SetCallback", "Run", "Stop", "SetCallback(none)"));
    EXPECT_EQ(graph->attachedCallback(), held);
    grabber->Release(); // the grabber goes, and lets its callback go
    EXPECT_EQ(graph->attachedCallback(), nullptr);
    EXPECT_THAT(graph->unbalanced(), IsEmpty());
    EXPECT_THAT(installed->unbalanced(), IsEmpty());
}

// --- frames through JNI --------------------------------------------------------

TEST_F(FakeGraphCapture, FakeGraphFramesReachJavaOldestFirstWithTheirIndex)
{
    prepare(dvGraph(), capdev::DeviceConfig::dv625());
    ASSERT_NE(open(), 0) << comFailure().first;
    EXPECT_FALSE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device));
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, device), -1);
    jbyteArray buffer = jni.newByteArray(std::vector<jbyte>(kFrameSize));
    jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, buffer);
    EXPECT_EQ(runtimeFailure(), "There isn't a frame available at this time.");

    for (uint32_t i = 0; i < 4; ++i)
        deliver(i, 500 + i);
    for (uint32_t expected = 1; expected < 4; ++expected) {
        EXPECT_TRUE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device));
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, device), 500 + expected);
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, buffer), kFrameSize);
        EXPECT_EQ(jni.thrown(), nullptr);
        const std::vector<jbyte> bytes = jni.bytes(buffer);
        EXPECT_EQ(capdev::readFrame(reinterpret_cast<const uint8_t*>(bytes.data()), kFrameSize, kFrameSize), expected);
    }
    EXPECT_FALSE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device));
}

TEST_F(FakeGraphCapture, FakeGraphAnArrayOfAnotherSizeOrNoneTakesNoFrame)
{
    prepare(dvGraph(), capdev::DeviceConfig::dv625());
    ASSERT_NE(open(), 0) << comFailure().first;
    deliver(9, 90);
    for (long size : {kFrameSize - 1, kFrameSize + 1, 0L}) {
        jbyteArray wrong = jni.newByteArray(std::vector<jbyte>(static_cast<size_t>(size), 0x11));
        jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, wrong);
        EXPECT_EQ(runtimeFailure(), "The frame buffer is the wrong size.");
        EXPECT_EQ(jni.bytes(wrong), std::vector<jbyte>(static_cast<size_t>(size), 0x11));
    }
    jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, jbyteArray{});
    EXPECT_EQ(runtimeFailure(), "The frame buffer is null.");
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, device), 90);
}

TEST_F(FakeGraphCapture, FakeGraphAnArrayThatCannotBePinnedTakesNoFrame)
{
    prepare(dvGraph(), capdev::DeviceConfig::dv625());
    ASSERT_NE(open(), 0) << comFailure().first;
    deliver(3, 30);
    jbyteArray buffer = jni.newByteArray(std::vector<jbyte>(kFrameSize, 0x22));
    jni.failCall(strictjni::Fault::GetPrimitiveArrayCritical);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, buffer);
    EXPECT_EQ(runtimeFailure(), "Failed to get access to the frame buffer.");
    EXPECT_EQ(jni.bytes(buffer), std::vector<jbyte>(kFrameSize, 0x22));
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, device), 30);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, buffer), kFrameSize);
    EXPECT_EQ(jni.thrown(), nullptr);
}

TEST(GraphWithoutCallback, FrameCallsReportAPlainFailureInsteadOfCrashing)
{
    Apartment apartment;
    strictjni::StrictJni jni;
    strictjni::failTestOnViolation(jni);
    pellux::DVSampleCaptureGraph unbuilt;
    const jlong device = pellux::toHandle(static_cast<pellux::SampleCaptureGraph*>(&unbuilt));
    const std::string message = "The device has no frame buffer: its capture stream is not connected.";
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameSize, device), 0);
    EXPECT_EQ(jni.thrown()->message(), message);
    EXPECT_FALSE(jni.call(Java_orlesk_tavrin_pellux_Pellux_isFrameAvailable, device));
    EXPECT_EQ(jni.thrown()->message(), message);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrameIndex, device), -1);
    EXPECT_EQ(jni.thrown()->message(), message);
    jbyteArray buffer = jni.newByteArray(std::vector<jbyte>(16));
    jni.call(Java_orlesk_tavrin_pellux_Pellux_getFrame, device, buffer);
    EXPECT_EQ(jni.thrown()->className(), kRuntimeException);
    EXPECT_EQ(jni.thrown()->message(), message);
}

} // namespace
