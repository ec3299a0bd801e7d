#pragma once
// The adapter password's scrambling tables. Row of the offset table:
// ((k4 >> 4) + k5) & 7; row of the permutation table: ((k5 >> 4) + k4) & 7,
// k4 and k5 bytes 4 and 5 of the universal address. Each offset is 0 to 15;
// each permutation row names the positions 1 to 8 once: scrambled byte
// P[i] - 1 holds plain byte i.
#include <cstdint>

namespace wf::netui {

inline constexpr uint8_t kPasswordOffsets[8][8] = {
    {3, 11, 6, 14, 1, 9, 12, 5},  {7, 2, 15, 10, 4, 13, 0, 8},  {12, 5, 9, 1, 14, 3, 10, 6},
    {0, 13, 4, 8, 11, 7, 2, 15},  {9, 6, 1, 12, 5, 15, 8, 3},   {14, 10, 7, 3, 13, 0, 6, 11},
    {5, 1, 11, 15, 8, 2, 14, 9},  {10, 15, 2, 6, 0, 12, 4, 13},
};

inline constexpr uint8_t kPasswordPermutations[8][8] = {
    {3, 7, 1, 5, 8, 2, 6, 4}, {6, 1, 4, 8, 2, 7, 3, 5}, {2, 5, 8, 3, 6, 4, 1, 7}, {8, 4, 6, 1, 7, 3, 5, 2},
    {5, 8, 2, 7, 4, 1, 3, 6}, {4, 2, 7, 6, 3, 5, 8, 1}, {7, 3, 5, 2, 1, 8, 4, 6}, {1, 6, 3, 4, 5, 8, 2, 7},
};

}  // namespace wf::netui
