// Turns the configuration file into serial ports in the HostLinkChannel, Plc objects in the
// PlcList and branch and tag nodes under the toolkit's name-space root. Runs once at start-up,
// on the main thread, before the polling thread exists.
#pragma once

#include <string>

class MainWindowLink;
class SODaSNameSpaceRoot;

// The port of every PLC element without a com attribute; "COM1" until a SETTINGS element
// names another.
extern std::string defaultPortName;

// 1 when the file was walked (also when it could not be read: that is reported and nothing is
// loaded), 0 when the parser could not be set up or a root had no OPC_DA element. Messages
// go to ownerWindow's message box; with no owner they are dropped.
int loadConfiguration(const std::string& path, SODaSNameSpaceRoot* nameSpaceRoot,
                      MainWindowLink* ownerWindow);
