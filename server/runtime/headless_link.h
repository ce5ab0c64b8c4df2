// The main window's part when there is no window: the message ring's new lines and the
// message boxes' texts go to standard error, and closing ends the main loop.
#pragma once

#include "server/polling/main_window_link.h"

#include <functional>
#include <iosfwd>
#include <mutex>

class HeadlessLink : public MainWindowLink {
public:
    // quit ends the main loop; it is called from any thread and must only post.
    HeadlessLink(std::ostream& err, std::function<void()> quit);

    void messageBox(const std::string& text, const std::string& caption) override;
    void messageRingChanged() override;
    void noPlcConfigured() override;
    void postClose() override;

    // The loop has ended: later calls only print.
    void loopEnded();

private:
    std::ostream& err_;
    std::function<void()> quit_;
    std::mutex mutex_;
    bool ended_ = false;
};

// A message box's text as one line on standard error: "caption: text" without the trailing
// line feed the loader puts on some texts.
std::string headlessBoxLine(const std::string& text, const std::string& caption);
// The newest line of the message ring, without its CR LF.
std::string newestRingLine();
