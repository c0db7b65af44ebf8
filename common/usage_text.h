#pragma once

// Usage texts made from the tables that parse a command line or a command: each entry is
// written as its synopsis ("--speed X") and its help, the help wrapped into a column of
// its own, so that a row added to a table explains itself without a text kept beside it.

#include <string>
#include <string_view>

namespace aviolog {

// As wide as the texts written by hand before them.
inline constexpr int kUsageWidth = 88;

// Appends text wrapped at kUsageWidth, every line indented; a '\n' in text starts a new
// line.
void appendWrapped(std::string& out, std::string_view text, int indent = 0);

// Appends "  --speed X               the help...": the synopsis after indent spaces, the
// help from helpColumn on (on the next line when the synopsis reaches it), wrapped there.
void appendUsageEntry(std::string& out, std::string_view synopsis, std::string_view help,
                      int indent, int helpColumn);

// A command-line option's entry: "  --speed X" and its help from column 26.
void appendOptionEntry(std::string& out, std::string_view name, std::string_view argument,
                       std::string_view help);

}  // namespace aviolog
