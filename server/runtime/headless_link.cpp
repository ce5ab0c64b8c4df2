#include "server/runtime/headless_link.h"

#include "server/polling/message_ring.h"
#include "server/runtime/server_texts.h"

#include <ostream>

namespace {

std::string trimLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

std::string headlessBoxLine(const std::string& text, const std::string& caption)
{
    return caption + ": " + trimLineEnd(text);
}

std::string newestRingLine()
{
    const int newest = (messageRing.index() + MessageRing::kSize - 1) % MessageRing::kSize;
    return trimLineEnd(messageRing.entries()[static_cast<std::size_t>(newest)]);
}

HeadlessLink::HeadlessLink(std::ostream& err, std::function<void()> quit)
    : err_(err), quit_(std::move(quit))
{
}

void HeadlessLink::messageBox(const std::string& text, const std::string& caption)
{
    std::lock_guard lock(mutex_);
    err_ << headlessBoxLine(text, caption) << std::endl;
}

void HeadlessLink::messageRingChanged()
{
    std::lock_guard lock(mutex_);
    err_ << newestRingLine() << std::endl;
}

void HeadlessLink::noPlcConfigured()
{
    {
        std::lock_guard lock(mutex_);
        err_ << headlessBoxLine(kNoPlcText, kServerCaption) << std::endl;
    }
    postClose();
}

void HeadlessLink::postClose()
{
    std::function<void()> quit;
    {
        std::lock_guard lock(mutex_);
        if (ended_)
            return;
        quit = quit_;
    }
    if (quit)
        quit();
}

void HeadlessLink::loopEnded()
{
    std::lock_guard lock(mutex_);
    ended_ = true;
}
