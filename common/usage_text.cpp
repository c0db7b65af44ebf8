#include "common/usage_text.h"

namespace aviolog {

namespace {

// One paragraph from column `column` on (the first line already written up to there),
// later lines indented to `indent`.
void appendParagraph(std::string& out, std::string_view text, int column, int indent) {
    const auto width = static_cast<std::size_t>(kUsageWidth);
    std::size_t used = static_cast<std::size_t>(column);
    bool lineEmpty = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
        if (word.empty()) continue;
        // A word longer than the column stays whole on a line of its own.
        if (!lineEmpty && used + 1 + word.size() > width) {
            out += '\n';
            out.append(static_cast<std::size_t>(indent), ' ');
            used = static_cast<std::size_t>(indent);
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++used;
        }
        out += word;
        used += word.size();
        lineEmpty = false;
    }
    out += '\n';
}

}  // namespace

void appendWrapped(std::string& out, std::string_view text, int indent) {
    while (true) {
        const std::size_t newline = text.find('\n');
        out.append(static_cast<std::size_t>(indent), ' ');
        appendParagraph(out, text.substr(0, newline), indent, indent);
        if (newline == std::string_view::npos || newline + 1 == text.size()) return;
        text.remove_prefix(newline + 1);
    }
}

void appendUsageEntry(std::string& out, std::string_view synopsis, std::string_view help,
                      int indent, int helpColumn) {
    out.append(static_cast<std::size_t>(indent), ' ');
    out += synopsis;
    const std::size_t used = static_cast<std::size_t>(indent) + synopsis.size();
    const auto column = static_cast<std::size_t>(helpColumn);
    if (used < column) {
        out.append(column - used, ' ');
    } else {
        // A long synopsis takes its line; the help starts under the column.
        out += '\n';
        out.append(column, ' ');
    }
    appendParagraph(out, help, helpColumn, helpColumn);
}

void appendOptionEntry(std::string& out, std::string_view name, std::string_view argument,
                       std::string_view help) {
    std::string synopsis(name);
    if (!argument.empty()) synopsis += " " + std::string(argument);
    appendUsageEntry(out, synopsis, help, 2, 26);
}

}  // namespace aviolog
