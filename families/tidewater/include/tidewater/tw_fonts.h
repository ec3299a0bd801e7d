#pragma once
// The Tidewater printers' 26 resident fonts, in font-number order: the one
// table the icon's settings cache and the paper and font page read.
#include <array>
#include <cstdint>

namespace tidewater {

struct ResidentFont {
  std::uint32_t number;  // equal to the row's position
  const char* name;
  std::uint32_t fixedPitch;      // 1: a pitch font, sized by pitch rather than point size
  std::uint32_t symbolSetClass;  // which symbol sets the font offers
};

inline constexpr std::array<ResidentFont, 26> kResidentFonts = {{
    {0, "Courier", 1, 1},
    {1, "Courier Bold", 1, 1},
    {2, "Courier Italic", 1, 1},
    {3, "Courier Bold Italic", 1, 1},
    {4, "Letter Gothic", 1, 1},
    {5, "Letter Gothic Bold", 1, 1},
    {6, "Letter Gothic Italic", 1, 1},
    {7, "CG Times", 0, 1},
    {8, "CG Times Bold", 0, 1},
    {9, "CG Times Italic", 0, 1},
    {10, "CG Times Bold Italic", 0, 1},
    {11, "Coronet", 0, 2},
    {12, "Univers Medium", 0, 1},
    {13, "Univers Bold", 0, 1},
    {14, "Univers Medium Italic", 0, 1},
    {15, "Univers Bold Italic", 0, 1},
    {16, "Univers Med Cond", 0, 2},
    {17, "Univers Bld Cond", 0, 2},
    {18, "Univers Med Cond Itl", 0, 2},
    {19, "Univers Bld Cond Itl", 0, 2},
    {20, "Antique Olive", 0, 2},
    {21, "Antique Olive Bold", 0, 2},
    {22, "Antique Olive Italic", 0, 2},
    {23, "Albertus Medium", 0, 2},
    {24, "Albertus Extra Bold", 0, 2},
    {25, "Wingdings", 0, 3},
}};

}  // namespace tidewater
