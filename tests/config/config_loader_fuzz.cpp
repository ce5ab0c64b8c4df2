// Any bytes as a configuration file: the loader must neither crash nor leak.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "server/config/config_loader.h"
#include "server/hostlink/hostlink_channel.h"
#include "server/polling/plc_list.h"
#include "server/polling/main_window_link.h"
#include "server/toolkit/node.h"

namespace {

class QuietWindow : public MainWindowLink {
public:
    void messageBox(const std::string& text, const std::string& caption) override
    {
        sink += text.size() + caption.size();
    }
    void messageRingChanged() override {}
    void noPlcConfigured() override {}
    void postClose() override {}
    std::size_t sink = 0;
};

std::string scratchPath()
{
    return "/tmp/vorlask-config-fuzz-" + std::to_string(getpid()) + ".xml";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = scratchPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    HostLinkChannel::create();
    createPlcList();
    defaultPortName = "COM1";
    SOCmnPointer<SODaSNameSpaceRoot> root = makeObject<SODaSNameSpaceRoot>();
    root->setTreeDelimiter('.', "", "");
    QuietWindow window;
    loadConfiguration(path, root.get(), &window);
    root->clearChildren();
    destroyPlcList();
    HostLinkChannel::destroy();
    return 0;
}
