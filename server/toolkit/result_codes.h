// HRESULT-style results the toolkit hands to its clients and that request completion carries.
#pragma once

#include <cstdint>

using ToolkitResult = std::int32_t;

inline constexpr ToolkitResult kResultOk = 0;                                   // S_OK
inline constexpr ToolkitResult kResultFalse = 1;                                // S_FALSE: some items failed
inline constexpr ToolkitResult kResultFail = static_cast<ToolkitResult>(0x80004005);        // E_FAIL
inline constexpr ToolkitResult kResultInvalidArg = static_cast<ToolkitResult>(0x80070057);  // E_INVALIDARG
inline constexpr ToolkitResult kResultOutOfMemory = static_cast<ToolkitResult>(0x8007000E); // E_OUTOFMEMORY
inline constexpr ToolkitResult kResultInvalidHandle = static_cast<ToolkitResult>(0xC0040001); // OPC_E_INVALIDHANDLE
inline constexpr ToolkitResult kResultBadType = static_cast<ToolkitResult>(0xC0040004);       // OPC_E_BADTYPE
inline constexpr ToolkitResult kResultBadRights = static_cast<ToolkitResult>(0xC0040006);     // OPC_E_BADRIGHTS
inline constexpr ToolkitResult kResultUnknownItemId = static_cast<ToolkitResult>(0xC0040007); // OPC_E_UNKNOWNITEMID
inline constexpr ToolkitResult kResultInvalidItemId = static_cast<ToolkitResult>(0xC0040008); // OPC_E_INVALIDITEMID
inline constexpr ToolkitResult kResultDuplicateName = static_cast<ToolkitResult>(0xC004000C); // OPC_E_DUPLICATENAME
inline constexpr ToolkitResult kResultTimeout = static_cast<ToolkitResult>(0x800705B4);       // HRESULT of ERROR_TIMEOUT
inline constexpr ToolkitResult kResultNotRunning = static_cast<ToolkitResult>(0x80004021);    // server not started / shut down

constexpr bool succeeded(ToolkitResult r) { return r >= 0; }

// Short English name of a result, for messages ("E_FAIL", "OPC_E_UNKNOWNITEMID", ...).
const char* resultName(ToolkitResult r);
