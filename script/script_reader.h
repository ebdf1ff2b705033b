// The removal script: an initialisation file that the device's setup leaves in the Windows
// directory. It is read entry by entry through the host's profile reader, never parsed here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"

namespace vorsk {

// Buffer sizes of the values read from the script; a value keeps at most size - 1 characters.
inline constexpr std::uint32_t kDeviceIdSize = 35;     // RemoveInf's Image0, Image1 and USB0
inline constexpr std::uint32_t kScriptTextSize = 260;  // every other text, and section names

// The default of every text entry, and the caption of the run's own message boxes.
inline constexpr std::string_view kEmptyText = "";

// Section and entry names of the script.
inline constexpr std::string_view kRemoveInfSection = "RemoveInf";
inline constexpr std::string_view kCurrentDevSection = "CurrentDev";
inline constexpr std::string_view kDevNoEntry = "DevNo";
inline constexpr std::string_view kPidVidSuffix = "PIDVID";
inline constexpr std::string_view kKeySuffix = "KEY";

// The text of section/entry, cut to size - 1 characters; the empty text when the section or
// entry is absent. A section name that does not fit a section-name buffer (more than 259
// characters) cannot be named by the script: its entries read as absent.
std::string ReadScriptText(Host& host, const std::string& scriptPath, std::string_view section,
                           std::string_view entry, std::uint32_t size);

// The integer value of section/entry, or defaultValue when it is absent (or its section name is
// too long, as above).
std::int32_t ReadScriptCount(Host& host, const std::string& scriptPath, std::string_view section,
                             std::string_view entry, std::int32_t defaultValue);

// The name of a section named after the device number: "<devNo><suffix>", never cut.
std::string DeviceSectionName(std::string_view devNo, std::string_view suffix);

// The name of the i-th entry of a numbered list: "Num1", "Num2", ...
std::string NumberedEntryName(std::int32_t i);

}  // namespace vorsk
