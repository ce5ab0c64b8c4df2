// Results of a Host Link transaction. The same number keys the message catalogue and picks the
// OPC quality of the tags concerned (qualityForResult in hostlink_codec.h).
#pragma once

using HostLinkResult = int;

inline constexpr HostLinkResult kHostLinkOk = 0;
inline constexpr HostLinkResult kHostLinkSendFailed = 1;        // writing a frame to the port failed
inline constexpr HostLinkResult kHostLinkNoReply = 4;           // no byte within the read time-out
inline constexpr HostLinkResult kHostLinkPortNotOpened = 16;    // selectPlc could not open the port
inline constexpr HostLinkResult kHostLinkBadFrame = 48;         // no CR at the end, or no "@" first
inline constexpr HostLinkResult kHostLinkFcsError = 49;         // FCS mismatch, end code 13 or A3
inline constexpr HostLinkResult kHostLinkNoContinuation = 64;   // non-final write frame not answered by a lone CR
inline constexpr HostLinkResult kHostLinkAddressOver = 65;      // end code 04
inline constexpr HostLinkResult kHostLinkNoArea = 66;           // area without header letter; nothing sent
inline constexpr HostLinkResult kHostLinkProtected = 67;        // end code 23
inline constexpr HostLinkResult kHostLinkEntryNumber = 68;      // end code 15
inline constexpr HostLinkResult kHostLinkOtherEndCode = 69;     // any other nonzero end code
inline constexpr HostLinkResult kHostLinkRunMode = 70;          // end code 01
inline constexpr HostLinkResult kHostLinkMonitorMode = 71;      // end code 02
inline constexpr HostLinkResult kHostLinkProgramMode = 72;      // end code 0B

// 1 to 63: the line did not answer sensibly; the polling thread moves on to the next PLC.
constexpr bool isLineFailure(HostLinkResult result) { return result >= 1 && result <= 63; }
