// The termios settings of a port, built by a pure function so that they can be checked on a
// zeroed struct without a device.
#pragma once

#include <optional>
#include <string>
#include <termios.h>

#include "server/hostlink/line.h"

// The speed_t for a baud rate; false when the rate has no termios constant.
bool baudConstant(std::uint32_t baudRate, speed_t* speed);
// The settings termios t stands for (what a device was set to); nothing for an unknown speed.
std::optional<SerialSettings> settingsOf(const termios& t);

// Turns t into a raw line with the given settings: no echo, no canonical input, no output
// processing, no software or hardware flow control, receiver on, modem lines ignored for
// open/close, parity generated and checked when parity is odd or even. Reads return at once
// (VMIN 0, VTIME 0): time-outs are done with poll. False, with *error, for a setting that
// termios cannot express (unknown baud rate, data bits outside 5 to 8); t is then untouched.
bool buildTermios(const SerialSettings& settings, termios& t, std::string* error = nullptr);

// The calls that put settings on a device and read them back; tests give their own.
struct TermiosCalls {
    int (*set)(int fd, int when, const termios* t);
    int (*get)(int fd, termios* t);
};

// True for a pseudo-terminal, told by the device's major number, not by its path.
bool isPseudoTerminal(int fd);

// True when `held` carries everything of `asked` that a pseudo-terminal can hold: speed, raw
// mode, CLOCAL, CREAD, stop bits, flow control, VMIN and VTIME. Character size and parity are
// left out: the kernel keeps a pty at 8 bits and no parity whatever it is asked.
bool ptyHoldsSettings(const termios& asked, const termios& held);

// Puts t on fd; 0, or the errno of the failure. The C library reads the settings back and
// fails with EINVAL when the driver kept anything other than asked; on a pseudo-terminal that
// is only ever the size and parity, so there the settings are read again and the line is taken
// when ptyHoldsSettings says so. A real port keeps the strict answer: a UART that refuses 7E2
// fails.
int applyTermios(int fd, const termios& t, bool pseudoTerminal,
                 const TermiosCalls& calls = {::tcsetattr, ::tcgetattr});
