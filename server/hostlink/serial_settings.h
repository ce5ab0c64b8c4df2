// The termios settings of a port, built by a pure function so that they can be checked on a
// zeroed struct without a device.
#pragma once

#include <string>
#include <termios.h>

#include "server/hostlink/line.h"

// The speed_t for a baud rate; false when the rate has no termios constant.
bool baudConstant(std::uint32_t baudRate, speed_t* speed);

// Turns t into a raw line with the given settings: no echo, no canonical input, no output
// processing, no software or hardware flow control, receiver on, modem lines ignored for
// open/close, parity generated and checked when parity is odd or even. Reads return at once
// (VMIN 0, VTIME 0): time-outs are done with poll. False, with *error, for a setting that
// termios cannot express (unknown baud rate, data bits outside 5 to 8); t is then untouched.
bool buildTermios(const SerialSettings& settings, termios& t, std::string* error = nullptr);
