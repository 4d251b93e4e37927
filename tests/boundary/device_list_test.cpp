// Sessions, threads and device lists through the JNI entry points: against
// Wine's real system device enumerator with devices registered in the
// registry, and against a fake enumerator for what the real one cannot do.
#include "pellux_test_support.h"
#include "task_memory_check.h"
#include "allocation_counter.h"
#include "boundary/com_exception.h"
#include "boundary/device_list.h"
#include "com_fakes.h"
#include "import_override.h"
#include "fake_device_enumerator.h"
#include "strict_jni.h"
#include "strict_jni_gtest.h"

#include "orlesk_tavrin_pellux_Pellux.h"

#include <dshow.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using fakedevices::FakeDevice;
using fakedevices::FakeDeviceEnumerator;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using testsupport::kCOMException;
using testsupport::kRuntimeException;
// A filter class for registered devices; listing never creates it.
constexpr CLSID kUnusedFilter = {0x5A1E0001, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

class DeviceLists : public comfake::TaskMemoryCheck {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        strictjni::failTestOnViolation(jni);
    }
    void TearDown() override
    {
        EXPECT_THAT(fakes.unbalanced(), IsEmpty());
        CoUninitialize();
    }

    jlong openList(const GUID& category)
    {
        return category == CLSID_AudioInputDeviceCategory
                   ? jni.call(Java_orlesk_tavrin_pellux_Pellux_openAudioDeviceList)
                   : jni.call(Java_orlesk_tavrin_pellux_Pellux_openDVDeviceList);
    }

    std::vector<std::string> names(jlong list)
    {
        std::vector<std::string> found;
        const jint count = jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceCount, list);
        for (jint i = 0; i < count; ++i)
            found.push_back(jni.utf8(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceName, list, i)));
        return found;
    }

    void expectThrown(const char* className, const std::string& message)
    {
        const strictjni::ObjectPtr thrown = jni.thrown();
        ASSERT_TRUE(thrown) << "nothing thrown; expected " << message;
        EXPECT_EQ(thrown->className(), className);
        EXPECT_EQ(thrown->message(), message);
    }

    strictjni::StrictJni jni;
    comfake::Fakes fakes;
};

comfake::DeviceEntry registered(const wchar_t* key, const wchar_t* friendlyName)
{
    comfake::DeviceEntry entry;
    entry.key = key;
    entry.friendlyName = friendlyName;
    entry.filterClass = kUnusedFilter;
    return entry;
}

// Runs `work` on a new thread that has joined a single-threaded apartment.
template <typename Work>
void onSingleThreadedApartment(Work work)
{
    std::async(std::launch::async, [&] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        work();
        CoUninitialize();
    }).get();
}

} // namespace

TEST_F(DeviceLists, TheRealEnumeratorListsRegisteredDevicesWithTheirNamesIntact)
{
    comfake::DeviceEntry camera =
        registered(L"{00000001-0000-0000-0000-000000000000}", L"Cam\u00E9ra DV \u2013 \u00DC");
    comfake::DeviceEntry deck = registered(L"{00000002-0000-0000-0000-000000000000}", L"DV Deck");
    deck.description = L"Studio deck \u00E6\u00F8\u00E5";
    deck.hasDescription = true;
    comfake::RegisteredDevice first(CLSID_VideoInputDeviceCategory, camera);
    comfake::RegisteredDevice second(CLSID_VideoInputDeviceCategory, deck);
    comfake::RegisteredDevice microphone(CLSID_AudioInputDeviceCategory,
                                         registered(L"{00000003-0000-0000-0000-000000000000}", L"Microphone"));

    const jlong video = openList(CLSID_VideoInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, video);
    ASSERT_FALSE(jni.thrown());
    EXPECT_THAT(names(video),
                ElementsAre("Cam\xC3\xA9ra DV \xE2\x80\x93 \xC3\x9C", "Studio deck \xC3\xA6\xC3\xB8\xC3\xA5"));

    const jlong audio = openList(CLSID_AudioInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, audio);
    EXPECT_THAT(names(audio), ElementsAre("Microphone"));

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, video);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, audio);
}

TEST_F(DeviceLists, AnEmptyCategoryLoadsWithoutAnException)
{
    const jlong list = openList(CLSID_AudioInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    EXPECT_FALSE(jni.thrown());
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceCount, list), 0);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, NamesComeFromDescriptionThenFriendlyNameThenAFixedText)
{
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    enumerator.add({L"Friendly", L"Described"});
    enumerator.add({L"Friendly only", std::nullopt});
    enumerator.add({std::nullopt, std::nullopt});
    enumerator.add({L"Not consulted", L""});
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());

    const jlong list = openList(CLSID_AudioInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    EXPECT_TRUE(enumerator.lastCategory == CLSID_AudioInputDeviceCategory);
    EXPECT_THAT(names(list), ElementsAre("Described", "Friendly only", "No Description", ""));
    for (const auto* moniker : enumerator.monikers())
        EXPECT_TRUE(moniker->boundWithContext);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, APropertyIsReadIntoAVariantWithoutAStringLeftInIt)
{
    // A property the device lacks fails to read: what the VARIANT held must
    // be null, or the clean-up frees a stale or garbage string. Windows 7's
    // VariantInit does not make it null.
    comfake::TypeOnlyVariantInit windows7;
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    enumerator.add({L"First", L"Described"});
    enumerator.add({L"Friendly only", std::nullopt});
    enumerator.add({std::nullopt, std::nullopt});
    enumerator.add({L"Last", L"Described too"});
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());

    const jlong list = openList(CLSID_VideoInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    EXPECT_FALSE(jni.thrown());
    EXPECT_THAT(names(list), ElementsAre("Described", "Friendly only", "No Description", "Described too"));
    for (const auto* moniker : enumerator.monikers())
        EXPECT_EQ(moniker->refusedVariants(), 0);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

// Exhausted memory while a list fills is reported as the frame pool reports
// it, not with the standard library's text.
TEST_F(DeviceLists, ANameThatCannotBeAllocatedReportsOutOfMemoryAndKeepsTheDevicesBeforeIt)
{
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    enumerator.add({L"First camera"});
    enumerator.add({std::wstring(1500, L'n')});
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());

    pellux::DeviceList list(CLSID_VideoInputDeviceCategory);
    std::pair<std::string, HRESULT> failure{"nothing thrown", S_OK};
    {
        const allocations::FailAbove smallHeap(1000);
        try {
            list.load();
        } catch (const pellux::COMException& thrown) {
            failure = {thrown.what(), thrown.getHResult()};
        }
    }
    EXPECT_EQ(failure, std::make_pair(std::string("Out of memory"), E_OUTOFMEMORY));
    EXPECT_EQ(list.getCount(), 1);
}

TEST_F(DeviceLists, AKeyThatCannotBeOpenedForWritingIsBoundAgainReadOnly)
{
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    FakeDevice machineWide{L"Machine-wide camera"};
    machineWide.writeProtected = true;
    FakeDevice refused{L"Refused", std::nullopt, E_ACCESSDENIED};
    enumerator.add(machineWide);
    enumerator.add({L"Writable camera"});
    enumerator.add(refused);
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());

    const jlong list = openList(CLSID_VideoInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    // A key that refuses a read-only bind too fails as before.
    expectThrown(kCOMException, "Failed to bind device moniker to storage");
    EXPECT_EQ(jni.thrown()->constructorArgs[1].i(), E_ACCESSDENIED);
    EXPECT_THAT(names(list), ElementsAre("Machine-wide camera", "Writable camera"));
    const auto& monikers = enumerator.monikers();
    EXPECT_THAT(monikers[0]->bindModes, ElementsAre(DWORD{STGM_READWRITE}, DWORD{STGM_READ}));
    EXPECT_THAT(monikers[1]->bindModes, ElementsAre(DWORD{STGM_READWRITE}));
    EXPECT_THAT(monikers[2]->bindModes, ElementsAre(DWORD{STGM_READWRITE}, DWORD{STGM_READ}));

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, ReloadingReleasesTheFirstEnumerationBeforeTheSecond)
{
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    enumerator.add({L"One"});
    enumerator.add({L"Two"});
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());

    const jlong list = openList(CLSID_VideoInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    EXPECT_THAT(names(list), ElementsAre("One", "Two"));
    for (const auto* moniker : enumerator.monikers())
        EXPECT_EQ(moniker->references(), 1) << "the list holds one reference per device";

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, AFailedBindKeepsTheDevicesBeforeItAndReleasesEverything)
{
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    enumerator.add({L"One"});
    enumerator.add({L"Two"});
    enumerator.add({L"Three", std::nullopt, E_ACCESSDENIED});
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());

    const jlong list = openList(CLSID_VideoInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    expectThrown(kCOMException, "Failed to bind device moniker to storage");
    EXPECT_EQ(jni.thrown()->constructorArgs[1].i(), E_ACCESSDENIED);
    EXPECT_THAT(names(list), ElementsAre("One", "Two"));
    EXPECT_EQ(enumerator.monikers()[2]->references(), 0);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, EnumeratorFailuresReachJavaWithTheirMessages)
{
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    enumerator.add({L"One"});
    enumerator.nextAfterLast = E_UNEXPECTED;
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());
    const jlong list = openList(CLSID_AudioInputDeviceCategory);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    expectThrown(kCOMException, "Failed to get next device moniker.");
    EXPECT_THAT(names(list), ElementsAre("One"));

    enumerator.createClassEnumerator = E_OUTOFMEMORY;
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    expectThrown(kCOMException, "Couldn't create video input device enumerator.");
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceCount, list), 0);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, AnEnumeratorThatCannotBeCreatedIsReported)
{
    comfake::ClassOverride refuse(CLSID_SystemDeviceEnum, [](REFIID, void** out) {
        *out = nullptr;
        return REGDB_E_CLASSNOTREG;
    });
    const jlong list = openList(CLSID_VideoInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);
    expectThrown(kCOMException, "CoCreateInstance failed - couldn't create device enumerator factory.");
    EXPECT_EQ(jni.thrown()->constructorArgs[1].i(), REGDB_E_CLASSNOTREG);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, IndexesOutsideTheListAreRefused)
{
    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    enumerator.add({L"Only"});
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());
    const jlong list = openList(CLSID_VideoInputDeviceCategory);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, list);

    for (jint index : {-1, 1}) {
        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceName, list, index), nullptr);
        expectThrown(kRuntimeException, "Device index is out of range.");
    }
    EXPECT_EQ(jni.utf8(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceName, list, 0)), "Only");

    jni.failCall(strictjni::Fault::NewStringUTF);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceName, list, 0), nullptr);
    EXPECT_EQ(jni.thrown()->className(), "java/lang/OutOfMemoryError");

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, list);
}

TEST_F(DeviceLists, AZeroHandleIsRefusedByUsersAndIgnoredByDestroyers)
{
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, jlong{0});
    expectThrown(kRuntimeException, "The handle is 0: there is no native object to use.");
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceCount, jlong{0}), 0);
    expectThrown(kRuntimeException, "The handle is 0: there is no native object to use.");
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceName, jlong{0}, 0), nullptr);
    expectThrown(kRuntimeException, "The handle is 0: there is no native object to use.");

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, jlong{0});
    EXPECT_FALSE(jni.thrown());
}

TEST_F(DeviceLists, ASessionIsAnEmptyVideoListThatBracketsCom)
{
    const jlong session = jni.call(Java_orlesk_tavrin_pellux_Pellux_openSession);
    ASSERT_NE(session, 0);
    EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_getDeviceCount, session), 0);

    auto& enumerator = *fakes.make<FakeDeviceEnumerator>(fakes);
    comfake::ClassOverride use(CLSID_SystemDeviceEnum, enumerator.factory());
    jni.call(Java_orlesk_tavrin_pellux_Pellux_loadDeviceList, session);
    EXPECT_TRUE(enumerator.lastCategory == CLSID_VideoInputDeviceCategory);

    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeSession, session);
    // closeSession with 0 still balances the session's COM initialisation.
    const jlong again = jni.call(Java_orlesk_tavrin_pellux_Pellux_openSession);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeDeviceList, again);
    jni.call(Java_orlesk_tavrin_pellux_Pellux_closeSession, jlong{0});
    EXPECT_FALSE(jni.thrown());
}

TEST_F(DeviceLists, ThreadsAlreadyInTheMultithreadedApartmentInitialiseQuietly)
{
    jni.call(Java_orlesk_tavrin_pellux_Pellux_initialiseThread);
    EXPECT_FALSE(jni.thrown());
    jni.call(Java_orlesk_tavrin_pellux_Pellux_releaseThread);
}

TEST_F(DeviceLists, ASingleThreadedApartmentRefusesInitialisationAndSessions)
{
    onSingleThreadedApartment([&] {
        jni.call(Java_orlesk_tavrin_pellux_Pellux_initialiseThread);
        auto thrown = jni.thrown();
        ASSERT_TRUE(thrown);
        EXPECT_EQ(thrown->className(), kCOMException);
        EXPECT_EQ(thrown->message(), "Failed to initialise COM with CoInitializeEx");
        EXPECT_EQ(thrown->constructorArgs[1].i(), static_cast<jint>(RPC_E_CHANGED_MODE));
        EXPECT_LT(thrown->constructorArgs[1].i(), 0);

        EXPECT_EQ(jni.call(Java_orlesk_tavrin_pellux_Pellux_openSession), 0);
        thrown = jni.thrown();
        ASSERT_TRUE(thrown);
        EXPECT_EQ(thrown->message(), "Failed to initialise COM with CoInitializeEx");
        // No initialisation was added: the thread is still in its one STA bracket.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
    });
}
