// Who the server is towards the toolkit and its clients.
#pragma once

#include <cstdint>

inline constexpr const char* kProgId = "Molv.OMRONCSeriesOPCServerDA.1.1";
inline constexpr const char* kIndependentProgId = "Molv.OMRONCSeriesOPCServerDA";
inline constexpr const char* kServerDescription = "Molv OMRON-CSeries HostLink OPC DA Server v1.1";
inline constexpr const char* kVendorInfo =
    "Molv OMRON-CSeries HostLink OPC DA Server - MOLV Automation S.r.l., "
    "Via dell'Industria 14, 35129 Padova, Italy";
// The product's class identifier; fixed for every build.
inline constexpr const char* kServerClassId = "{6E3B1A52-4C9D-4F0E-9B7A-2D8C5F1E3A71}";
