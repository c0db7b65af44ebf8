#pragma once

// The terminal's face in face pixels (399 x 269 at scale 1): where the rows are drawn
// and which area each click lands on. Every host draws and hit-tests from this one table.

#include <array>
#include <optional>
#include <string_view>

namespace aviolog::gauge {

inline constexpr int kFaceWidth = 399;
inline constexpr int kFaceHeight = 269;

struct FaceRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

// Text rows 1 to 9: 324 x 13 at x 40, centred text.
inline constexpr std::array<int, 9> kRowY = {15, 30, 46, 61, 77, 92, 108, 123, 139};
inline constexpr int kRowX = 40;
inline constexpr int kRowWidth = 324;
inline constexpr int kRowHeight = 13;

inline constexpr FaceRect kCaptureLamp{375, 144, 15, 15};
inline constexpr FaceRect kScreen{43, 19, 317, 138};

// Line-select keys beside rows 1, 3, 5 and 7.
inline constexpr std::array<int, 4> kSelectY = {15, 46, 77, 108};
inline constexpr int kLeftSelectX = 9;
inline constexpr int kRightSelectX = 375;
inline constexpr int kSelectWidth = 16;
inline constexpr int kSelectHeight = 10;

inline constexpr std::array<int, 3> kKeypadY = {181, 212, 242};
inline constexpr std::array<int, 10> kKeypadX = {40, 73, 106, 139, 172, 205, 238, 271, 304, 337};
inline constexpr int kKeySize = 27;

enum class FaceKey {
    None,
    Letter,
    Shift,
    EraseUp,
    SpaceDown,
    Enter,
    LeftSelect,
    RightSelect,
    Capture,
    Screen
};

struct FaceHit {
    FaceKey key = FaceKey::None;
    char letter = 0;  // Letter: 'A' to 'Z'
    int index = 0;    // LeftSelect, RightSelect: 1 to 4
};

// The keypad, row by row: a letter, or one of the named keys.
struct KeypadCap {
    FaceKey key;
    char letter;
    std::string_view label;
};
inline constexpr std::array<std::array<KeypadCap, 10>, 3> kKeypad = {{
    {{{FaceKey::Letter, 'A', "A/1"},
      {FaceKey::Letter, 'B', "B/2"},
      {FaceKey::Letter, 'C', "C/3"},
      {FaceKey::Letter, 'D', "D/4"},
      {FaceKey::Letter, 'E', "E/5"},
      {FaceKey::Letter, 'F', "F/6"},
      {FaceKey::Letter, 'G', "G/7"},
      {FaceKey::Letter, 'H', "H/8"},
      {FaceKey::Letter, 'I', "I/9"},
      {FaceKey::Letter, 'J', "J/0"}}},
    {{{FaceKey::Letter, 'K', "K"},
      {FaceKey::Letter, 'L', "L"},
      {FaceKey::Letter, 'M', "M"},
      {FaceKey::Letter, 'N', "N"},
      {FaceKey::Letter, 'O', "O"},
      {FaceKey::Letter, 'P', "P"},
      {FaceKey::Letter, 'Q', "Q"},
      {FaceKey::Letter, 'R', "R"},
      {FaceKey::Letter, 'S', "S"},
      {FaceKey::Shift, 0, "SHF"}}},
    {{{FaceKey::Letter, 'T', "T"},
      {FaceKey::Letter, 'U', "U"},
      {FaceKey::Letter, 'V', "V"},
      {FaceKey::Letter, 'W', "W"},
      {FaceKey::Letter, 'X', "X"},
      {FaceKey::Letter, 'Y', "Y"},
      {FaceKey::Letter, 'Z', "Z"},
      {FaceKey::EraseUp, 0, "DEL"},
      {FaceKey::SpaceDown, 0, "SPC"},
      {FaceKey::Enter, 0, "ENT"}}},
}};

inline FaceRect leftSelectRect(int index) {
    return {kLeftSelectX, kSelectY[static_cast<std::size_t>(index - 1)], kSelectWidth,
            kSelectHeight};
}
inline FaceRect rightSelectRect(int index) {
    return {kRightSelectX, kSelectY[static_cast<std::size_t>(index - 1)], kSelectWidth,
            kSelectHeight};
}
inline FaceRect keypadRect(int row, int column) {
    return {kKeypadX[static_cast<std::size_t>(column)], kKeypadY[static_cast<std::size_t>(row)],
            kKeySize, kKeySize};
}
inline FaceRect rowRect(int r) {
    return {kRowX, kRowY[static_cast<std::size_t>(r - 1)], kRowWidth, kRowHeight};
}

// The area under a point of the face.
inline FaceHit hitTest(int x, int y) {
    for (int i = 1; i <= 4; ++i) {
        if (leftSelectRect(i).contains(x, y)) return {FaceKey::LeftSelect, 0, i};
        if (rightSelectRect(i).contains(x, y)) return {FaceKey::RightSelect, 0, i};
    }
    if (kCaptureLamp.contains(x, y)) return {FaceKey::Capture, 0, 0};
    if (kScreen.contains(x, y)) return {FaceKey::Screen, 0, 0};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 10; ++column) {
            if (!keypadRect(row, column).contains(x, y)) continue;
            const KeypadCap& cap =
                kKeypad[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
            return {cap.key, cap.letter, 0};
        }
    }
    return {};
}

}  // namespace aviolog::gauge
