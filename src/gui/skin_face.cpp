// Cutting the face out of a skin (pure; any thread).
#include "gui/skin_face.h"

// A premultiplied hat channel over a face channel; a malformed hat value
// (above its alpha) cannot overflow the byte.
static uint8_t blend(int face, int hat, int a) {
    int v = face * (255 - a) / 255 + hat;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

std::optional<std::vector<uint8_t>> skin_face(const uint8_t *pixels, int width, int height,
                                              int stride) {
    if (!pixels || width < 64 || height < 32) return std::nullopt;
    const int s = width / 64;
    // Cells are read at rows y * s (y <= 15) and columns x * s (x <= 47): a
    // wide image must be tall enough for its scale, or the rows run off it.
    if (height < 16 * s || stride < 4 * width) return std::nullopt;
    std::vector<uint8_t> out(4 * k_skin_face_size * k_skin_face_size);
    for (int r = 0; r < k_skin_face_size; r++) {
        int y = 8 + 8 * r / k_skin_face_size;
        for (int c = 0; c < k_skin_face_size; c++) {
            int x = 8 + 8 * c / k_skin_face_size;
            const uint8_t *face = pixels + static_cast<size_t>(y * s) * stride + 4 * (x * s);
            const uint8_t *hat = pixels + static_cast<size_t>(y * s) * stride + 4 * ((x + 32) * s);
            uint8_t *o = out.data() + 4 * (r * k_skin_face_size + c);
            int a = hat[3];
            for (int ch = 0; ch < 3; ch++)
                o[ch] = a > 0 ? blend(face[ch], hat[ch], a) : face[ch];
            o[3] = 255;
        }
    }
    return out;
}
