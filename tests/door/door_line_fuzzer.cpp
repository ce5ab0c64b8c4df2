// Arbitrary lines on the local door: each input is split at newlines and every line is taken
// as a request of one connection, exactly as the door's reader takes it, against a running
// toolkit with a few tags. The process must never crash, and every answer must be a JSON object
// that can be written out.
#include "server/door/door_server.h"
#include "server/door/door_session.h"
#include "server/toolkit/entry.h"
#include "server/toolkit/tag.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool startToolkit()
{
    auto entry = getSODaSEntry();
    if (!entry->start())
        std::abort();
    auto root = entry->getNameSpaceRoot();
    auto branch = makeObject<SODaSNodeDefault>("P");
    root->addBranch(branch);
    const std::uint16_t types[] = {vt::I2, vt::BOOL, vt::R4, vt::BSTR, vt::I4 | vt::ARRAY};
    int n = 0;
    for (std::uint16_t type : types) {
        auto tag = makeObject<SODaSTag>();
        tag->setName("T" + std::to_string(n++));
        tag->setNativeDatatype(type);
        tag->setAccessRights(n % 2 ? 3 : 1);
        branch->addLeaf(tag);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = startToolkit();
    (void)ready;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return 0;
    auto connection = std::make_shared<DoorConnection>(pair[0]);
    std::unique_ptr<DoorSession> session = DoorClientSession::open(connection);
    if (!session)
        std::abort();
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        bool closeAfter = false;
        const nlohmann::json reply = DoorServer::answerLine(*session, input.substr(start, end - start), &closeAfter);
        if (!reply.is_object() || !reply.contains("ok"))
            std::abort();
        (void)reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        if (closeAfter)
            break;
        start = end + 1;
    }
    session->ended();
    session.reset();
    connection.reset();
    ::close(pair[1]);
    return 0;
}
