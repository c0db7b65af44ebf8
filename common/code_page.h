#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace aviolog {

// The five bytes Windows-1252 leaves without a character (0x81, 0x8D, 0x8F, 0x90, 0x9D).
enum class UndefinedBytes {
    Replace,  // U+FFFD, for a display
    Keep,     // the control character of the same number, so that the text converts back
};

// Windows-1252 text as UTF-8, for terminals, SQLite and other readers outside the
// program's own files.
std::string utf8FromWindows1252(std::string_view text,
                                UndefinedBytes undefined = UndefinedBytes::Replace);

// One Unicode character in Windows-1252; "?" where the code page has none. The five
// undefined bytes stand for the control characters of the same number.
char windows1252From(char32_t codePoint);

// UTF-8 text in Windows-1252; a character the code page lacks becomes "?". Nothing when
// the text is not UTF-8.
std::optional<std::string> windows1252FromUtf8(std::string_view text);

// A text file other programs wrote, as the program's text. Editors that save UTF-8 put a
// byte-order mark first, which would hide the first line (an INI file's first section): the
// mark goes, and the rest is converted (kept as it is should it not be UTF-8 after all). A
// file without the mark is Windows-1252 already.
std::string windows1252FromFileText(std::string_view bytes);

}  // namespace aviolog
