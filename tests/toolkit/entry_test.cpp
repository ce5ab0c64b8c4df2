#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/registry.h"
#include "server/toolkit/da_client.h"
#include "server/toolkit/entry.h"
#include "server/toolkit/event_pool.h"
#include "server/toolkit/trace.h"
#include "tests/toolkit/toolkit_fixture.h"

namespace {

struct CountingHandler : SOSrvEventHandler {
    std::atomic<int>* calls;
    explicit CountingHandler(std::atomic<int>* c) : calls(c) {}
    void onReleasedLastOPCObject() override { ++*calls; }
};

TEST(Entry, KeepsIdentityAndSettings)
{
    auto entry = getSODaSEntry();
    EXPECT_EQ(entry, getSODaSEntry()); // one entry per process
    int module = 0;
    ASSERT_TRUE(entry->initialize(kAppTypeOutOfProcess, "{1}", &module, 0));
    entry->setServerSettings(1, 3, 1, 3);
    entry->setRegisterInfo("A.B.1", "A.B", "Desc");
    entry->setVendorInfo("Vendor");
    entry->setVersionInfo(1, 10, 100, 3);
    entry->setCheckParameter(50);

    EXPECT_EQ(entry->getAppType(), kAppTypeOutOfProcess);
    EXPECT_EQ(entry->getClassId(), "{1}");
    EXPECT_EQ(entry->getServerSettings(), (std::array<std::uint32_t, 4>{1, 3, 1, 3}));
    EXPECT_EQ(entry->getRegisterInfo().independentProgId, "A.B");
    EXPECT_EQ(entry->getVendorInfo(), "Vendor");
    EXPECT_EQ(entry->getVersionInfo().minor, 10);
    EXPECT_EQ(entry->getVersionInfo().byteValue, 3);
    EXPECT_EQ(entry->getCheckParameter(), 50u);
    entry->terminate();
    EXPECT_EQ(entry->getCheckParameter(), 0u);
}

TEST(Entry, ClientsConnectOnlyAfterStart)
{
    auto entry = getSODaSEntry();
    ToolkitResult r = kResultOk;
    EXPECT_FALSE(DaClient::connect("early", {}, &r));
    EXPECT_EQ(r, kResultNotRunning);
    ASSERT_NE(entry->start(), 0);
    EXPECT_TRUE(DaClient::connect("later", {}, &r));
    entry->terminate();
}

TEST(Entry, RegistrationWritesTheRegistryAndUnregistrationRemovesIt)
{
    auto dir = std::filesystem::temp_directory_path() / ("vorlask-reg-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    ::setenv("MOLV_REGISTRY_ROOT", dir.c_str(), 1);
    auto entry = getSODaSEntry();
    entry->initialize(kAppTypeOutOfProcess, "{AB-CD}", nullptr, 0);
    entry->setRegisterInfo("Molv.X.1", "Molv.X", "X server");
    ASSERT_TRUE(entry->registerServer());
    ASSERT_TRUE(entry->registerCategories());
    Registry reg(dir);
    EXPECT_EQ(reg.readString("SOFTWARE\\Classes\\Molv.X.1", "CLSID").value_or(""), "{AB-CD}");
    EXPECT_EQ(reg.readString("SOFTWARE\\Classes\\Molv.X", "CurVer").value_or(""), "Molv.X.1");
    EXPECT_EQ(reg.readString("SOFTWARE\\Classes\\CLSID\\{AB-CD}", "ProgID").value_or(""), "Molv.X.1");
    EXPECT_TRUE(reg.keyExists(
        "SOFTWARE\\Classes\\CLSID\\{AB-CD}\\Implemented Categories\\{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}"));

    ASSERT_TRUE(entry->unregisterCategories());
    EXPECT_FALSE(reg.keyExists(
        "SOFTWARE\\Classes\\CLSID\\{AB-CD}\\Implemented Categories\\{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}"));
    ASSERT_TRUE(entry->unregisterServer());
    EXPECT_FALSE(reg.keyExists("SOFTWARE\\Classes\\Molv.X.1"));
    EXPECT_FALSE(reg.keyExists("SOFTWARE\\Classes\\CLSID\\{AB-CD}"));
    entry->terminate();
    ::unsetenv("MOLV_REGISTRY_ROOT");
    std::filesystem::remove_all(dir);
}

TEST(Entry, RegistrationHookReplacesTheDefault)
{
    auto entry = getSODaSEntry();
    entry->initialize(kAppTypeOutOfProcess, "{C}", nullptr, 0);
    entry->setRegisterInfo("P.1", "P", "D");
    std::vector<RegistrationAction> seen;
    entry->setRegistrationHook([&](RegistrationAction a, const RegisterInfo& info, const std::string& cls) {
        EXPECT_EQ(info.progId, "P.1");
        EXPECT_EQ(cls, "{C}");
        seen.push_back(a);
        return a != RegistrationAction::unregisterCategories;
    });
    EXPECT_TRUE(entry->registerServer());
    EXPECT_TRUE(entry->registerCategories());
    EXPECT_FALSE(entry->unregisterCategories());
    EXPECT_EQ(seen.size(), 3u);
    entry->terminate();
}

TEST_F(StartedToolkit, ObjectRootCountsClientsAndTheLastOneNotifies)
{
    std::atomic<int> calls{0};
    entry->setEventHandler(makeObject<CountingHandler>(&calls));
    auto a = DaClient::connect("a");
    auto b = DaClient::connect("b");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(entry->getObjectRoot()->serverCount(), 2u);
    EXPECT_EQ(entry->getObjectRoot()->getBranchList()[0]->getClientName(), "a");
    a->disconnect();
    EXPECT_EQ(entry->getObjectRoot()->serverCount(), 1u);
    EXPECT_EQ(calls, 0);
    a->disconnect(); // twice is harmless
    b.reset();       // destruction disconnects
    EXPECT_EQ(entry->getObjectRoot()->serverCount(), 0u);
    EXPECT_EQ(calls, 1);
}

TEST_F(StartedToolkit, ShutdownAllClientsPassesTheReason)
{
    std::mutex m;
    std::vector<std::string> reasons;
    auto onShutdown = [&](const std::string& r) {
        std::lock_guard l(m);
        reasons.push_back(r);
    };
    auto a = DaClient::connect("a", onShutdown);
    auto b = DaClient::connect("b", onShutdown);
    EXPECT_EQ(entry->shutdownAllClients("Server shutdown"), 2u);
    ASSERT_TRUE(eventually([&] {
        std::lock_guard l(m);
        return reasons.size() == 2;
    }));
    EXPECT_EQ(reasons[0], "Server shutdown");
}

TEST_F(StartedToolkit, TerminateForcesClientsOut)
{
    auto a = DaClient::connect("a");
    ASSERT_TRUE(a->isConnected());
    entry->terminate();
    EXPECT_FALSE(a->isConnected());
    GroupHandle g = 0;
    EXPECT_EQ(a->addGroup("g", true, 100, {}, &g), kResultNotRunning);
    EXPECT_EQ(entry->getObjectRoot()->serverCount(), 0u);
    ASSERT_NE(entry->start(), 0); // the fixture terminates again
}

TEST(EventPool, LendsResetEventsAndTakesThemBack)
{
    auto pool = getEventPool();
    SOCmnEvent* e = pool->popEvent();
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(e->isSet());
    e->set();
    EXPECT_TRUE(e->waitFor(std::chrono::milliseconds(0)));
    SOCmnEvent* other = pool->popEvent();
    EXPECT_NE(other, e); // never lent twice at once
    std::size_t freeBefore = pool->freeCount();
    pool->pushEvent(e);
    pool->pushEvent(e);
    EXPECT_EQ(pool->freeCount(), freeBefore + 1);
    SOCmnEvent* again = pool->popEvent();
    EXPECT_EQ(again, e);
    EXPECT_FALSE(again->isSet()); // handed out reset
    pool->pushEvent(again);
    pool->pushEvent(other);
}

TEST(EventPool, WaitEndsWhenAnotherThreadSets)
{
    auto pool = getEventPool();
    SOCmnEvent* e = pool->popEvent();
    std::thread t([e] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e->set();
    });
    EXPECT_TRUE(e->waitFor(std::chrono::seconds(5)));
    t.join();
    pool->pushEvent(e);
}

TEST(Trace, WritesOnlyEnabledGroupsAndExpandsFormats)
{
    auto trace = getSOCmnTrace();
    std::vector<std::string> lines;
    trace->setSink([&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(SOCmnTrace::expand("%s %d", "Can't", 7), "Can't 7");
    EXPECT_TRUE(trace->trace(kTraceLevelError, kTraceGroupUser1, "entry", "Can't start the OPC server"));
    EXPECT_FALSE(trace->trace(kTraceLevelInfo, kTraceGroupUser1, "entry", "hidden"));
    trace->setLevelGroups(kTraceLevelError, 0);
    EXPECT_FALSE(trace->isEnabled(kTraceLevelError, kTraceGroupUser1));
    EXPECT_FALSE(trace->trace(kTraceLevelError, kTraceGroupUser1, "entry", "now hidden"));
    trace->setLevelGroups(kTraceLevelError, 0xFFFFFFFFu);
    trace->setSink({});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Can't start the OPC server"), std::string::npos);
    EXPECT_NE(lines[0].find("10000000"), std::string::npos);
}

TEST(Exception, OutOfMemoryCarriesCodeAndText)
{
    try {
        throwOutOfMemory();
        FAIL();
    } catch (const SOCmnException& e) {
        EXPECT_EQ(e.id(), 1u);
        EXPECT_EQ(e.description(), "Out of memory");
    }
}

} // namespace
