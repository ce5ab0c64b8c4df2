// The server assembled in-process, as the process entry runs it, against a simulated PLC:
// the status dialog on live blocks, the shutdown waits, and the close of a server started
// for a client.
#include "server/polling/polling_thread.h"
#include "server/runtime/config_discovery.h"
#include "server/polling/main_window_link.h"
#include "server/runtime/server_app.h"
#include "server/runtime/status_dialog.h"
#include "server/toolkit/da_client.h"
#include "server/toolkit/entry.h"

#include "common/registry.h"
#include "tools/plcsim/plc_simulator.h"

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

QApplication& app()
{
    static int argc = 1;
    static char name[] = "app_live_server_test";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

class RecordingLink : public MainWindowLink {
public:
    void messageBox(const std::string& text, const std::string& caption) override
    {
        std::lock_guard lock(mutex);
        boxes.push_back(caption + "|" + text);
    }
    void messageRingChanged() override { ++ringChanges; }
    void noPlcConfigured() override { ++noPlc; }
    void postClose() override { ++closes; }

    std::mutex mutex;
    std::vector<std::string> boxes;
    std::atomic<int> ringChanges{0}, noPlc{0}, closes{0};
};

template <class Pred>
bool eventually(Pred p, std::chrono::milliseconds limit = 6000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (p())
            return true;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(10ms);
    }
    return p();
}

const char* kPlant = R"(<?xml version="1.0" encoding="ISO-8859-1"?>
<MOLVOmronHLCfg><OPC_DA>
<PLC name="Plant" id = "0" com="COM1" baudrate = "9600" stopbits="2" databits="7" parity="EVEN"><tags>
<tag><name>Sine</name><comment></comment><channel>DM1</channel><datatype>VT_I2/BIN</datatype><accessrights>READWRITE</accessrights></tag>
<tag><name>Counter</name><comment></comment><channel>DM0</channel><datatype>VT_UI2/BIN</datatype><accessrights>READWRITE</accessrights></tag>
<tag><name>Temp</name><comment></comment><channel>DM2</channel><datatype>VT_R4/BIN</datatype><accessrights>READWRITE</accessrights></tag>
<tag><name>Run</name><comment></comment><channel>IR0</channel><datatype>VT_BOOL/BIN</datatype><accessrights>READ</accessrights><databit>0</databit></tag>
</tags></PLC>
</OPC_DA></MOLVOmronHLCfg>
)";

const char* kNoPlcs = R"(<?xml version="1.0" encoding="ISO-8859-1"?>
<MOLVOmronHLCfg><OPC_DA></OPC_DA></MOLVOmronHLCfg>
)";

class LiveServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        dir_ = fs::temp_directory_path() /
               ("app-live-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ::setenv("MOLV_REGISTRY_ROOT", (dir_ / "registry").c_str(), 1);
    }
    void TearDown() override
    {
        clients_.clear();
        if (server_) {
            if (!shutDown_)
                server_->shutdown();
            server_->terminate();
        }
        server_.reset();
        if (sim_)
            sim_->stop();
        ::unsetenv("MOLV_REGISTRY_ROOT");
        fs::remove_all(dir_);
    }

    void startSimulator()
    {
        PlcSimulator::Options o;
        o.units = {0};
        sim_ = std::make_unique<PlcSimulator>(o);
        std::string why;
        ASSERT_TRUE(sim_->start(&why)) << why;
        sim_->setMode(0, SimMode::Monitor);
        sim_->setWords(0, MemoryArea::DM, 0, {42, 0xFFFB, 0x0000, 0x3FC0});
        sim_->setWord(0, MemoryArea::IR, 0, 1);
        Registry(dir_ / "registry").writeString("SOFTWARE\\MOLVAutomation\\Vorlask\\Ports", "COM1", sim_->devicePath());
    }

    void startServer(const char* config, CommandLine cmd = {}, bool registryKey = true,
                     std::chrono::milliseconds clientWait = 10000ms)
    {
        const fs::path file = dir_ / "plant.xml";
        std::ofstream(file, std::ios::binary) << config;
        ServerApp::Options o;
        o.discovery.executablePath = [this] { return std::optional<std::string>((dir_ / "vorlask").string()); };
        o.discovery.canRead = [](const std::string& p) { return fs::exists(p); };
        o.discovery.registryKeyOpens = [registryKey] { return registryKey; };
        o.discovery.registryConfigFile = [file] { return std::optional<std::string>(file.string()); };
        o.clientWait = clientWait;
        server_ = std::make_unique<ServerApp>(cmd, &link_, o);
        server_->giveIdentity();
        server_->installEventHandler();
        std::string why;
        ASSERT_TRUE(server_->start(&why)) << why;
    }

    DaClient& connect(SODaSServer::ShutdownRequest onShutdown = {})
    {
        clients_.push_back(DaClient::connect("test", std::move(onShutdown)));
        EXPECT_TRUE(clients_.back());
        return *clients_.back();
    }

    void shutdown()
    {
        server_->shutdown();
        shutDown_ = true;
    }

    static QStringList childTexts(QTreeWidgetItem* item)
    {
        QStringList out;
        for (int i = 0; i < item->childCount(); ++i)
            out << item->child(i)->text(0);
        return out;
    }
    static QStringList rows(QTreeWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            auto* r = list->topLevelItem(i);
            out << r->text(0) + "|" + r->text(1) + "|" + r->text(2);
        }
        return out;
    }

    fs::path dir_;
    RecordingLink link_;
    std::unique_ptr<PlcSimulator> sim_;
    std::unique_ptr<ServerApp> server_;
    std::vector<std::unique_ptr<DaClient>> clients_;
    bool shutDown_ = false;
};

TEST_F(LiveServer, IdentityAndNumericSettingsReachTheToolkit)
{
    startSimulator();
    CommandLine cmd;
    cmd.testToolMode = true;
    startServer(kPlant, cmd);
    auto entry = getSODaSEntry();
    EXPECT_EQ(entry->getRegisterInfo().progId, "Molv.OMRONCSeriesOPCServerDA.1.1");
    EXPECT_EQ(entry->getRegisterInfo().independentProgId, "Molv.OMRONCSeriesOPCServerDA");
    EXPECT_EQ(entry->getRegisterInfo().description, "Molv OMRON-CSeries HostLink OPC DA Server v1.1");
    EXPECT_EQ(entry->getAppType(), kAppTypeOutOfProcess);
    EXPECT_FALSE(entry->getClassId().empty());
    EXPECT_EQ(entry->getServerSettings(), (std::array<std::uint32_t, 4>{1, 3, 1, 3}));
    const VersionInfo v = entry->getVersionInfo();
    EXPECT_EQ(std::vector<int>({v.major, v.minor, v.build, v.byteValue}), std::vector<int>({1, 10, 100, 3}));
    EXPECT_EQ(entry->getCheckParameter(), 1000u);
    std::string accepted, bad;
    EXPECT_EQ(entry->getNameSpaceRoot()->getTreeDelimiter(&accepted, &bad), '.');
    EXPECT_TRUE(bad.empty());
}

TEST_F(LiveServer, StatusDialogShowsPlcsBlocksAndTheSelectedBlocksTags)
{
    startSimulator();
    startServer(kPlant);
    DaClient& client = connect();
    GroupHandle g = 0;
    ASSERT_EQ(client.addGroup("g", true, 100, {}, &g), kResultOk);
    const auto added = client.addItems(g, {{"Plant.Counter"}, {"Plant.Sine"}, {"Plant.Run"}});
    ASSERT_EQ(added.size(), 3u);
    auto goodCounter = [&] {
        const auto s = client.read(g, {added[0].item}, DataSource::cache);
        return !s.empty() && s[0].quality == 0xC0 && s[0].value.asInt64() == 42;
    };
    ASSERT_TRUE(eventually(goodCounter));

    StatusDialog d;
    EXPECT_EQ(d.windowTitle(), "Communication Status");
    ASSERT_EQ(d.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = d.rootItem();
    EXPECT_EQ(root->text(0), "PLCs Network");
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(childTexts(root), QStringList{"Plant"});
    QTreeWidgetItem* plcItem = root->child(0);
    EXPECT_EQ(childTexts(plcItem), (QStringList{"DM0-LEN2", "IR0-LEN1"}));
    EXPECT_EQ(d.list()->topLevelItemCount(), 0);
    const QStringList headers = {d.list()->headerItem()->text(0), d.list()->headerItem()->text(1),
                                 d.list()->headerItem()->text(2)};
    EXPECT_EQ(headers, (QStringList{"Tag Name", "Value", "Quality"}));
    EXPECT_EQ(d.refreshButton()->text(), "&Refresh");

    d.tree()->setCurrentItem(plcItem->child(0));
    EXPECT_EQ(rows(d.list()), (QStringList{"Counter|42|Good", "Sine|-5|Good"}));
    if (const char* shot = std::getenv("VORLASK_SCREENSHOT")) {
        d.show();
        QApplication::processEvents();
        d.grab().save(shot);
    }

    // The figures pane follows the selection: the block's achieved interval against its rate.
    EXPECT_TRUE(d.figuresText().startsWith("DM0-LEN2: asked every 100 ms, read every ")) << d.figuresText().toStdString();

    // A PLC item or the root shows no tags, but the PLC's and the lines' figures.
    d.tree()->setCurrentItem(plcItem);
    EXPECT_EQ(d.list()->topLevelItemCount(), 0);
    EXPECT_TRUE(d.figuresText().startsWith("Plant, unit 0 on COM1: ")) << d.figuresText().toStdString();
    EXPECT_TRUE(d.figuresText().contains(" 0 failed.")) << d.figuresText().toStdString();
    d.tree()->setCurrentItem(root);
    EXPECT_EQ(d.list()->topLevelItemCount(), 0);
    EXPECT_TRUE(d.figuresText().startsWith("COM1: open since ")) << d.figuresText().toStdString();
    auto commands = [&] {
        d.tree()->setCurrentItem(root);
        d.tree()->setCurrentItem(plcItem);
        const auto m = QRegularExpression(": (\\d+) commands").match(d.figuresText());
        return m.hasMatch() ? m.captured(1).toLongLong() : -1;
    };
    ASSERT_TRUE(eventually([&] { return commands() > 5; }));
    const long long before = commands();
    d.resetButton()->click();
    const long long after = commands();
    EXPECT_GE(after, 0);
    EXPECT_LT(after, before); // afresh (reads go on meanwhile)

    // A tag joining the block: the label grows and the tag gains a row on Refresh.
    d.tree()->setCurrentItem(plcItem->child(0));
    const auto temp = client.addItems(g, {{"Plant.Temp"}});
    ASSERT_TRUE(eventually([&] {
        const auto s = client.read(g, {temp[0].item}, DataSource::cache);
        return !s.empty() && s[0].quality == 0xC0 && s[0].value.asDouble() == 1.5;
    }));
    sim_->setWord(0, MemoryArea::DM, 0, 43);
    ASSERT_TRUE(eventually([&] { return client.read(g, {added[0].item}, DataSource::cache)[0].value.asInt64() == 43; }));
    EXPECT_EQ(rows(d.list()), (QStringList{"Counter|42|Good", "Sine|-5|Good"})); // not by itself
    d.onRefresh();
    EXPECT_EQ(childTexts(plcItem), (QStringList{"DM0-LEN4", "IR0-LEN1"}));
    EXPECT_EQ(rows(d.list()), (QStringList{"Counter|43|Good", "Sine|-5|Good", "Temp|1.500000|Good"}));

    // A tag leaving it loses its row on Refresh.
    ASSERT_EQ(client.removeItems(g, {added[1].item})[0], kResultOk);
    ASSERT_TRUE(eventually([&] {
        d.onRefresh();
        return d.list()->topLevelItemCount() == 2;
    }));
    EXPECT_EQ(rows(d.list()), (QStringList{"Counter|43|Good", "Temp|1.500000|Good"}));

    // A block that no longer exists loses its item on Refresh.
    client.removeItems(g, {added[0].item, temp[0].item});
    ASSERT_TRUE(eventually([&] {
        d.onRefresh();
        return plcItem->childCount() == 1;
    }));
    EXPECT_EQ(childTexts(plcItem), QStringList{"IR0-LEN1"});
    // The tree moved the selection to the remaining block, and the list follows it.
    ASSERT_EQ(d.tree()->currentItem(), plcItem->child(0));
    EXPECT_EQ(rows(d.list()), QStringList{"Run|TRUE|Good"});
}

TEST_F(LiveServer, ShutdownWithoutClientsDoesNotWait)
{
    startSimulator();
    startServer(kPlant);
    shutdown();
    EXPECT_FALSE(server_->askedClients());
    EXPECT_LT(server_->lastClientWait(), 100ms);
}

TEST_F(LiveServer, ShutdownWaitsForClientsThatLeave)
{
    startSimulator();
    startServer(kPlant);
    std::atomic<bool> asked{false};
    std::string reason;
    DaClient& client = connect([&](const std::string& r) {
        reason = r;
        asked = true;
    });
    std::thread leaver([&] {
        while (!asked)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(200ms);
        client.disconnect();
    });
    shutdown();
    leaver.join();
    EXPECT_TRUE(server_->askedClients());
    EXPECT_EQ(reason, "Server shutdown");
    EXPECT_GE(server_->lastClientWait(), 150ms);
    EXPECT_LT(server_->lastClientWait(), 3000ms);
}

TEST_F(LiveServer, ShutdownGivesUpOnClientsThatStay)
{
    startSimulator();
    startServer(kPlant, {}, true, 400ms);
    connect([](const std::string&) {});
    shutdown();
    EXPECT_TRUE(server_->askedClients());
    EXPECT_GE(server_->lastClientWait(), 380ms);
    EXPECT_LT(server_->lastClientWait(), 2000ms);
}

TEST_F(LiveServer, StartedByComClosesWhenTheLastClientLeaves)
{
    startSimulator();
    CommandLine cmd = parseCommandLine({"-Embedding"});
    startServer(kPlant, cmd);
    DaClient& a = connect();
    DaClient& b = connect();
    a.disconnect();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(link_.closes, 0);
    b.disconnect();
    EXPECT_TRUE(eventually([&] { return link_.closes == 1; }));
}

TEST_F(LiveServer, StartedByHandKeepsRunningWhenTheLastClientLeaves)
{
    startSimulator();
    startServer(kPlant, parseCommandLine({"-Embedding", "extra"}));
    connect().disconnect();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(link_.closes, 0);
}

TEST_F(LiveServer, EmptyPlcListIsReportedByThePollingThread)
{
    startServer(kNoPlcs);
    EXPECT_TRUE(eventually([&] { return link_.noPlc == 1; }));
    EXPECT_TRUE(eventually([&] { return !server_->pollingThread()->running(); }));
    shutdown(); // the thread has ended: nothing to wait for
}

TEST_F(LiveServer, MissingConfigurationShowsTheBoxThenNoPlc)
{
    startServer(kPlant, {}, false);
    ASSERT_EQ(link_.boxes.size(), 1u);
    EXPECT_EQ(link_.boxes[0], "OPC Omron HostLink Server|The configuration file couldn't be loaded !");
    EXPECT_TRUE(eventually([&] { return link_.noPlc == 1; }));
}

TEST_F(LiveServer, FileBesideTheExecutableIsLoaded)
{
    startSimulator();
    std::ofstream(dir_ / "vorlask.xml", std::ios::binary) << kPlant;
    startServer(kNoPlcs); // the registry names a file without PLCs
    EXPECT_EQ(server_->configChoice().path, (dir_ / "vorlask.xml").string());
    EXPECT_TRUE(getSODaSEntry()->getNameSpaceRoot()->findItem("Plant.Counter"));
}

} // namespace
