// The server's fixed texts for the operator.
#pragma once

inline constexpr const char* kServerCaption = "OPC OMRON Server";
inline constexpr const char* kNoPlcText = "No OMRON PLC configured. OPC Server being closed.";
inline constexpr const char* kMainWindowTitle = "Molv OMRON-CSeries HostLink OPC DA Server";
inline constexpr const char* kMainWindowClassName = "MolvOPCServer";
inline constexpr int kMainWindowWidth = 506;
inline constexpr int kMainWindowHeight = 100;
inline constexpr const char* kShutdownReason = "Server shutdown";
inline constexpr const char* kStartFailedTrace = "Can't start the OPC server";
