// What the loader and the polling thread may ask of the server's main window. The window (or,
// headless, standard error) implements it; tests record the calls.
#pragma once

#include <string>

class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    // A modal warning box with an OK button, owned by the main window. Returns when dismissed.
    virtual void messageBox(const std::string& text, const std::string& caption) = 0;
    // A new line was written into the message ring. Synchronous: returns once the window has
    // rebuilt its status text, or at once when the window is already gone.
    virtual void messageRingChanged() = 0;
    // The PLC list is empty: the window shows its box and then closes. Synchronous.
    virtual void noPlcConfigured() = 0;
    // Asks the window to close, without waiting.
    virtual void postClose() = 0;
};
