// The player's face cut from a skin image: the 8 x 8 face at (8, 8) enlarged
// to 44 x 44 by nearest-neighbour sampling, with the hat layer at (40, 8)
// blended over it. Pure; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

constexpr int k_skin_face_size = 44;

// pixels: premultiplied 8-bit BGRA rows of stride bytes. Skins narrower than
// 64 or lower than 32 pixels give none; larger ones (a whole multiple of 64
// wide) are sampled on the same grid. The result is 44 x 44 premultiplied
// BGRA, 4 * 44 bytes a row, fully opaque.
std::optional<std::vector<uint8_t>> skin_face(const uint8_t *pixels, int width, int height,
                                              int stride);
