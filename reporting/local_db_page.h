#pragma once

// The page the "Local DB" button shows: written from the database each time it is opened,
// so it always lists every flight. One self-contained file (styles and plots inline, no
// network), Windows-1252 like the stored text.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reporting/local_database.h"

namespace aviolog::reporting {

inline constexpr const char* kLocalDbPage = ".\\localdb.htm";
inline constexpr const char* kPageNotWritten = "Can't write the local database page";

// The landing-rate plot shows this many of the newest flights, the monthly plot this many
// of the newest months that have flights.
inline constexpr std::size_t kLandingRateBars = 20;
inline constexpr std::size_t kMonthBars = 24;

struct LocalDbPageResult {
    std::filesystem::path page;        // absolute; set when the page was written
    std::optional<std::string> error;  // the engine's text, or kPageNotWritten
};

// Writes the page from the database and returns its absolute path, or the error text. A
// missing database gives the page with no flights and is not created.
LocalDbPageResult writeLocalDbPage(const std::filesystem::path& workDir);

// The page for these flights, newest first, as the bytes of the file. A flight whose
// landing page is kept (pageKept says so by its file name) links to it.
std::string localDbPageHtml(const std::vector<DatabaseFlight>& flights,
                            const std::function<bool(const std::string&)>& pageKept = {});

// Minutes of an "hh:mm" duration; nothing when the text is not one.
std::optional<std::int64_t> durationMinutes(std::string_view text);

}  // namespace aviolog::reporting
