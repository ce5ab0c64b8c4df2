#include "server/door/door_server.h"
#include "server/door/door_values.h"
#include "server/door_base/door_latin1.h"

#include "tools/cli/door_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <functional>
#include <thread>
#include <unistd.h>

namespace {

using json = nlohmann::json;
using namespace std::chrono_literals;

struct Counters {
    std::atomic<int> opened{0};
    std::atomic<int> ended{0};
};

class EchoSession : public DoorSession {
public:
    explicit EchoSession(Counters& c) : c_(c) { ++c_.opened; }
    json handle(const json& rq, bool* closeAfter) override
    {
        const std::string op = rq["op"];
        if (op == "sleep")
            std::this_thread::sleep_for(600ms);
        if (op == "held") { // until "release"
            std::unique_lock lock(m_);
            cv_.wait(lock, [this] { return released_; });
        }
        if (op == "release") {
            std::lock_guard lock(m_);
            released_ = true;
            cv_.notify_all();
        }
        if (op == "close")
            *closeAfter = true;
        return {{"ok", true}, {"echo", op}};
    }
    bool runsApart(const json& rq) const override { return rq["op"] == "held"; }
    void ended() override { ++c_.ended; }

private:
    Counters& c_;
    std::mutex m_;
    std::condition_variable cv_;
    bool released_ = false;
};

class DoorServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("app-door-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        path_ = (dir_ / "sub" / "door.sock").string();
        server_ = std::make_unique<DoorServer>(
            [this](std::shared_ptr<DoorConnection>) { return std::make_unique<EchoSession>(counters_); });
        std::string why;
        ASSERT_TRUE(server_->start(path_, &why)) << why;
    }
    void TearDown() override
    {
        server_.reset();
        std::filesystem::remove_all(dir_);
    }

    int rawConnect()
    {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof(addr.sun_path) - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        return fd;
    }
    static void sendAll(int fd, const std::string& s)
    {
        std::size_t done = 0;
        while (done < s.size()) {
            const ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
    }
    static json readReply(int fd)
    {
        std::string line;
        char c;
        while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
            line += c;
        return json::parse(line, nullptr, false);
    }
    template <class Pred>
    static bool eventually(Pred p)
    {
        for (int i = 0; i < 200; ++i) {
            if (p())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return p();
    }

    std::filesystem::path dir_;
    std::string path_;
    Counters counters_;
    std::unique_ptr<DoorServer> server_;
};

TEST_F(DoorServerTest, SocketIsPrivateToTheUser)
{
    struct stat st{};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir_ / "sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(DoorServerTest, RepliesCarryTheRequestId)
{
    DoorClient client;
    ASSERT_TRUE(client.connectTo(path_, nullptr));
    auto reply = client.call({{"op", "hello"}});
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["echo"], "hello");
    EXPECT_EQ((*reply)["id"], 1);
}

TEST_F(DoorServerTest, ConnectionsAreServedConcurrently)
{
    DoorClient slow, quick;
    ASSERT_TRUE(slow.connectTo(path_, nullptr));
    ASSERT_TRUE(quick.connectTo(path_, nullptr));
    std::thread t([&] { slow.call({{"op", "sleep"}}); });
    std::this_thread::sleep_for(50ms);
    const auto began = std::chrono::steady_clock::now();
    auto reply = quick.call({{"op", "ping"}});
    const auto took = std::chrono::steady_clock::now() - began;
    t.join();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["echo"], "ping");
    EXPECT_LT(took, 400ms);
}

TEST_F(DoorServerTest, ARequestAnsweredApartHoldsNoneThatFollow)
{
    const int fd = rawConnect();
    // Without an id a held request is answered in turn; with one, the requests after it pass.
    sendAll(fd, "{\"id\":1,\"op\":\"held\"}\n{\"id\":2,\"op\":\"ping\"}\n");
    EXPECT_EQ(readReply(fd)["id"], 2);
    sendAll(fd, "{\"id\":3,\"op\":\"release\"}\n");
    std::set<int> rest = {readReply(fd)["id"].get<int>(), readReply(fd)["id"].get<int>()};
    EXPECT_EQ(rest, (std::set<int>{1, 3}));
    sendAll(fd, "{\"op\":\"held\"}\n{\"id\":4,\"op\":\"ping\"}\n");
    EXPECT_TRUE(readReply(fd)["id"].is_null());
    EXPECT_EQ(readReply(fd)["id"], 4);
    ::close(fd);
}

TEST_F(DoorServerTest, MalformedLinesGetAnErrorAndTheConnectionStays)
{
    const int fd = rawConnect();
    sendAll(fd, "this is not json\n");
    json r = readReply(fd);
    EXPECT_EQ(r["ok"], false);
    EXPECT_NE(r["error"].get<std::string>().find("malformed"), std::string::npos);

    sendAll(fd, "[1,2]\n{\"id\":7}\n");
    r = readReply(fd);
    EXPECT_EQ(r["ok"], false);
    r = readReply(fd);
    EXPECT_EQ(r["ok"], false);
    EXPECT_EQ(r["id"], 7);

    sendAll(fd, "{\"id\":8,\"op\":\"ping\"}\r\n");
    r = readReply(fd);
    EXPECT_EQ(r["ok"], true);
    EXPECT_EQ(r["id"], 8);
    ::close(fd);
}

TEST_F(DoorServerTest, HostileRequestsAreRefusedAndTheConnectionStays)
{
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{\"op\":\"status\",\"id\":" + deep + "}", "nested deeper"},
        {"{\"op\":\"x\",\"a\":" + std::string(40, '{') + std::string(40, '}') + "}", "nested deeper"},
        {"{\"op\":\"x\",\"s\":\"" + std::string(100, '[') + "\\\"\"}", ""}, // brackets in a string are text
        {"{\"op\":\"x\",\"id\":{\"a\":1}}", "\"id\""},
        {"{\"op\":\"x\",\"id\":[1]}", "\"id\""},
        {"{\"op\":\"x\",\"id\":true}", "\"id\""},
    };
    const int fd = rawConnect();
    for (const auto& [line, error] : cases) {
        sendAll(fd, line + "\n");
        const json r = readReply(fd);
        ASSERT_TRUE(r.is_object()) << line.substr(0, 40);
        if (error.empty()) {
            EXPECT_EQ(r["ok"], true) << line.substr(0, 40);
        } else {
            EXPECT_EQ(r["ok"], false) << line.substr(0, 40);
            EXPECT_TRUE(r["id"].is_null());
            EXPECT_NE(r["error"].get<std::string>().find(error), std::string::npos) << r.dump();
        }
    }
    sendAll(fd, "{\"id\":\"last\",\"op\":\"ping\"}\n");
    EXPECT_EQ(readReply(fd)["id"], "last");
    ::close(fd);
}

TEST(DoorConnection, AReaderThatStallsIsDroppedAndNeverHoldsTheSender)
{
    // Two ways to stall: fill the queue past its bound, or take nothing for the stall limit.
    for (const bool flood : {true, false}) {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        auto conn = std::make_shared<DoorConnection>(pair[0]); // pair[1] is never read
        const json big = {{"event", "dataChange"}, {"pad", std::string(64 * 1024, 'x')}};
        std::size_t accepted = 0;
        const std::size_t bound = DoorConnection::kMaxQueuedBytes / (64 * 1024) + 64;
        while ((flood || accepted < 8) && accepted <= bound && conn->send(big))
            ++accepted;
        // Every send returned at once; the flood ends at the queue's bound.
        EXPECT_LE(accepted, bound);
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!conn->broken() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(conn->broken()) << (flood ? "flood" : "stall");
        EXPECT_FALSE(conn->send(big));
        conn.reset();
        ::close(pair[1]);
    }
}

TEST_F(DoorServerTest, ClientsBeyondTheLimitAreRefusedWithAReason)
{
    server_->setMaxClients(2);
    DoorClient a, b;
    ASSERT_TRUE(a.connectTo(path_, nullptr));
    ASSERT_TRUE(b.connectTo(path_, nullptr));
    ASSERT_TRUE(a.call({{"op", "ping"}}));
    ASSERT_TRUE(b.call({{"op", "ping"}}));
    const int fd = rawConnect();
    const json r = readReply(fd);
    EXPECT_EQ(r["ok"], false);
    EXPECT_NE(r["error"].get<std::string>().find("too many clients (limit 2)"), std::string::npos) << r.dump();
    char c;
    EXPECT_EQ(::recv(fd, &c, 1, 0), 0); // and the door closes it
    ::close(fd);

    ASSERT_TRUE(a.call({{"op", "close"}}));
    ASSERT_TRUE(eventually([&] { return server_->connectionCount() == 1; }));
    DoorClient d;
    ASSERT_TRUE(d.connectTo(path_, nullptr));
    EXPECT_TRUE(d.call({{"op", "ping"}}));
}

TEST_F(DoorServerTest, OversizedLineGetsOneErrorAndTheNextLineIsServed)
{
    const int fd = rawConnect();
    std::thread writer([&] {
        // Its id stands at the start: the error settles that request.
        sendAll(fd, "{\"id\":9,\"op\":\"write\",\"pad\":\"" + std::string(DoorServer::kMaxLine + 300000, 'x') +
                        "\"}\n{\"id\":2,\"op\":\"ping\"}\n");
    });
    json r = readReply(fd);
    EXPECT_EQ(r["id"], 9);
    EXPECT_EQ(r["ok"], false);
    EXPECT_NE(r["error"].get<std::string>().find("too long"), std::string::npos);
    r = readReply(fd);
    EXPECT_EQ(r["id"], 2);
    EXPECT_EQ(r["ok"], true);
    writer.join();
    ::close(fd);
}

TEST_F(DoorServerTest, VanishedClientIsCleanedUpLikeAClose)
{
    {
        DoorClient a;
        ASSERT_TRUE(a.connectTo(path_, nullptr));
        ASSERT_TRUE(a.call({{"op", "ping"}}));
        EXPECT_EQ(server_->connectionCount(), 1u);
    } // the client goes without a word
    EXPECT_TRUE(eventually([&] { return counters_.ended == 1; }));
    EXPECT_TRUE(eventually([&] { return server_->connectionCount() == 0; }));

    DoorClient b;
    ASSERT_TRUE(b.connectTo(path_, nullptr));
    ASSERT_TRUE(b.call({{"op", "close"}}));
    EXPECT_TRUE(eventually([&] { return counters_.ended == 2; }));
}

TEST_F(DoorServerTest, StopEndsEverySessionAndRemovesTheSocket)
{
    DoorClient a, b;
    ASSERT_TRUE(a.connectTo(path_, nullptr));
    ASSERT_TRUE(b.connectTo(path_, nullptr));
    ASSERT_TRUE(eventually([&] { return counters_.opened == 2; }));
    server_->stop();
    EXPECT_EQ(counters_.ended, 2);
    EXPECT_FALSE(std::filesystem::exists(path_));
    json ev;
    EXPECT_EQ(a.nextEvent(1000, ev), DoorClient::Wait::Closed);
}

TEST_F(DoorServerTest, SecondServerIsRefusedAndAStaleSocketIsReplaced)
{
    DoorServer second([](std::shared_ptr<DoorConnection>) { return nullptr; });
    std::string why;
    EXPECT_FALSE(second.start(path_, &why));
    EXPECT_NE(why.find("another server"), std::string::npos);

    // A socket file left behind by a server that is gone.
    const std::string stale = (dir_ / "stale.sock").string();
    {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, stale.c_str(), sizeof(addr.sun_path) - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    DoorServer third([this](std::shared_ptr<DoorConnection>) { return std::make_unique<EchoSession>(counters_); });
    EXPECT_TRUE(third.start(stale, &why)) << why;
    DoorClient c;
    ASSERT_TRUE(c.connectTo(stale, nullptr));
    EXPECT_TRUE(c.call({{"op", "ping"}}));
}

TEST_F(DoorServerTest, NonSocketFileIsNeverRemoved)
{
    const std::string plain = (dir_ / "plain").string();
    { std::ofstream(plain) << "keep"; }
    DoorServer other([](std::shared_ptr<DoorConnection>) { return nullptr; });
    std::string why;
    EXPECT_FALSE(other.start(plain, &why));
    EXPECT_TRUE(std::filesystem::exists(plain));
}

TEST(DoorServerLeadingId, IsReadFromTheStartOfALineThatCannotBeParsed)
{
    const std::pair<std::string, json> cases[] = {
        {R"({"id":7,"op":"write","items":[)", 7},
        {R"({ "group" : 3, "id" : "w-1", "op")", "w-1"},
        {R"({"items":[{"id":5}],"id":6)", 6},     // an "id" deeper down is not the request's
        {R"({"pad":"\"id\":4","id":-2.5})", -2.5}, // nor one inside a string
        {R"({"id":{"x":1}})", nullptr},
        {R"({"op":"write")", nullptr},
        {"not json", nullptr},
    };
    for (const auto& [line, id] : cases)
        EXPECT_EQ(DoorServer::leadingId(line), id) << line;
}

// Another user who makes the door's folder first, or may write in it, could put a door of their
// own there: the server does not listen there and clients do not connect.
TEST_F(DoorServerTest, FoldersOthersCouldHavePlantedAreRefusedByServerAndClient)
{
    namespace fs = std::filesystem;
    const fs::path real = dir_ / "real";
    fs::create_directories(real);
    struct Case {
        const char* what;
        std::function<fs::path()> make;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"a link to a folder", [&] { fs::create_directory_symlink(real, dir_ / "link"); return dir_ / "link"; }, "symbolic link"},
        {"a folder anyone may write", [&] { fs::create_directories(dir_ / "open"); fs::permissions(dir_ / "open", fs::perms::all); return dir_ / "open"; }, "writable by others"},
    };
    if (::getuid() == 0)
        cases.push_back({"another user's folder", [&] {
                             fs::create_directories(dir_ / "theirs");
                             EXPECT_EQ(::chown((dir_ / "theirs").c_str(), 65534, 65534), 0);
                             return dir_ / "theirs";
                         }, "belongs to another user"});
    for (const auto& c : cases) {
        const fs::path folder = c.make();
        DoorServer other([](std::shared_ptr<DoorConnection>) { return nullptr; });
        std::string why;
        EXPECT_FALSE(other.start((folder / "door.sock").string(), &why)) << c.what;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
        EXPECT_FALSE(fs::exists(folder / "door.sock")) << c.what;
        // A door someone else put there is not used.
        DoorClient client;
        why.clear();
        EXPECT_FALSE(client.connectTo((folder / "door.sock").string(), &why)) << c.what;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
    }
}

TEST_F(DoorServerTest, TheSocketOpensToAGroupOnlyWhereTheFolderIsItsGroupsAlone)
{
    namespace fs = std::filesystem;
    struct Case {
        const char* what;
        mode_t folderMode;
        gid_t folderGroup;
        mode_t socketMode;
    };
    const gid_t own = ::getegid();
    std::vector<Case> cases = {{"own group, group may enter", 0750, own, 0660}, {"private folder", 0700, own, 0600}};
    if (::getuid() == 0)
        cases.push_back({"another group's folder", 0770, 65534, 0600});
    int n = 0;
    for (const auto& c : cases) {
        const fs::path folder = dir_ / ("g" + std::to_string(n++));
        fs::create_directories(folder);
        ASSERT_EQ(::chown(folder.c_str(), static_cast<uid_t>(-1), c.folderGroup), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
        DoorServer server([this](std::shared_ptr<DoorConnection>) { return std::make_unique<EchoSession>(counters_); });
        std::string why;
        ASSERT_TRUE(server.start((folder / "door.sock").string(), &why)) << c.what << ": " << why;
        struct stat st{};
        ASSERT_EQ(::stat((folder / "door.sock").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.socketMode) << c.what;
    }
}

// The socket's mode keeps others out; the peer check holds even where the mode would not.
TEST_F(DoorServerTest, APeerOfAnotherUserIsRefused)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    ASSERT_EQ(::chmod(path_.c_str(), 0666), 0);
    ASSERT_EQ(::chmod((dir_ / "sub").c_str(), 0755), 0);
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int fd = rawConnect();
        const std::string ping = "{\"id\":1,\"op\":\"ping\"}\n";
        (void)!::send(fd, ping.data(), ping.size(), MSG_NOSIGNAL);
        const json r = readReply(fd);
        const char verdict = r.is_object() && r["ok"] == false ? 'R' : 'A';
        (void)!::write(result[1], &verdict, 1);
        ::_exit(0);
    }
    ::close(result[1]);
    char verdict = 0;
    EXPECT_EQ(::read(result[0], &verdict, 1), 1);
    ::close(result[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(verdict, 'R');
    // The owner still gets in.
    DoorClient client;
    ASSERT_TRUE(client.connectTo(path_, nullptr));
    EXPECT_TRUE(client.call({{"op", "ping"}}));
}

} // namespace

// A group's data change is written directly; it must read exactly as the same event built as a
// JSON object would, for every kind of value and any item name.
TEST(DoorDataChangeLine, IsTheSerialisedEventByteForByte)
{
    auto array = Variant::makeArray(vt::I2, 3);
    array.setAt(1, Variant::fromI2(-7));
    const std::vector<std::pair<std::string, Variant>> cases = {
        {"PLC1.W0", Variant::fromUI2(65535)},
        {"Line \"A\"\\b\t\n\x01.\xe9t\xe9", Variant::fromString("caf\xe9 \"x\"\x1f")},
        {"R", Variant::fromR8(-0.125)},
        {"R4", Variant::fromR4(1e-3f)},
        {"B", Variant::fromBool(true)},
        {"E", Variant()},
        {"A", array},
    };
    std::vector<DataChangeItem> changes;
    json items = json::array();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        DataChangeItem ch;
        ch.item = static_cast<ItemHandle>(100 + i);
        ch.clientHandle = static_cast<std::uint32_t>(i * 7);
        ch.itemId = cases[i].first;
        ch.value = cases[i].second;
        ch.quality = i % 2 ? 192 : 0;
        ch.timeStamp = i ? TimeStamp(std::chrono::milliseconds(1796820000123LL + i)) : TimeStamp{};
        changes.push_back(ch);
        items.push_back({{"item", latin1ToUtf8(ch.itemId)}, {"handle", ch.item}, {"clientHandle", ch.clientHandle},
                         {"value", variantToJson(ch.value)}, {"vartype", ch.value.vartype()},
                         {"quality", ch.quality}, {"timestamp", timeStampMillis(ch.timeStamp)}});
        const json one = json::array({items.back()});
        EXPECT_EQ(dataChangeLine(9, {ch}), json({{"event", "dataChange"}, {"group", 9}, {"items", one}}).dump() + "\n")
            << cases[i].first;
    }
    EXPECT_EQ(dataChangeLine(4294967295u, changes),
              json({{"event", "dataChange"}, {"group", 4294967295u}, {"items", items}}).dump() + "\n");
    EXPECT_EQ(dataChangeLine(1, {}), "{\"event\":\"dataChange\",\"group\":1,\"items\":[]}\n");
}
