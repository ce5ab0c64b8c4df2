// OPC DA qualities and their texts.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::uint16_t kOpcQualityBad = 0x00;
inline constexpr std::uint16_t kOpcQualityConfigError = 0x04;
inline constexpr std::uint16_t kOpcQualityNotConnected = 0x08;
inline constexpr std::uint16_t kOpcQualityDeviceFailure = 0x0C;
inline constexpr std::uint16_t kOpcQualitySensorFailure = 0x10;
inline constexpr std::uint16_t kOpcQualityLastKnown = 0x14;
inline constexpr std::uint16_t kOpcQualityCommFailure = 0x18;
inline constexpr std::uint16_t kOpcQualityOutOfService = 0x1C;
inline constexpr std::uint16_t kOpcQualityWaitingForInitialData = 0x20;
inline constexpr std::uint16_t kOpcQualityUncertain = 0x40;
inline constexpr std::uint16_t kOpcQualityGood = 0xC0;

inline constexpr std::uint32_t kLocaleSystemDefault = 0x0800;

// The OPC DA text of a quality: "Good", "Bad", "Bad: Device Failure", "Bad: Comm Failure",
// "Bad: Out of Service", "Uncertain: Last Usable Value", ...; limit bits add ", Low Limited",
// ", High Limited" or ", Constant". Only English is offered; every locale gives it.
std::string quality2string(std::uint16_t quality, std::uint32_t locale = kLocaleSystemDefault);
// The toolkit's form: fills text and returns true.
bool quality2string(std::string& text, std::uint16_t quality, std::uint32_t locale);
