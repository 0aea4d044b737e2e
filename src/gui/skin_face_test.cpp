// The face cut from a skin, on small skins built pixel by pixel.
#include "gui/skin_face.h"

#include <gtest/gtest.h>

namespace {
// A premultiplied BGRA skin of w x h pixels, transparent everywhere.
struct Skin {
    int w, h;
    std::vector<uint8_t> px;
    Skin(int width, int height) : w(width), h(height), px(4 * width * height, 0) {}
    void set(int x, int y, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
        uint8_t *p = &px[4 * (y * w + x)];
        p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    }
    // Face cells at (8..15, 8..15), each a colour of its own, opaque.
    void paint_face(int scale = 1) {
        for (int y = 8; y < 16; y++)
            for (int x = 8; x < 16; x++)
                set(x * scale, y * scale, uint8_t(x * 10), uint8_t(y * 10), 200, 255);
    }
    std::optional<std::vector<uint8_t>> face() const { return skin_face(px.data(), w, h, 4 * w); }
};

std::vector<int> pixel(const std::vector<uint8_t> &face, int row, int col) {
    const uint8_t *p = &face[4 * (row * k_skin_face_size + col)];
    return {p[0], p[1], p[2], p[3]};
}
} // namespace

TEST(SkinFace, FaceIsEnlargedAndTheHatBlendedOverIt) {
    Skin skin(64, 32); // the old format: no second layer below row 32
    skin.paint_face();
    skin.set(32 + 9, 8, 1, 2, 3, 255);   // opaque hat over face cell (9, 8)
    skin.set(32 + 10, 8, 0, 0, 64, 128); // half-transparent hat over (10, 8)
    auto face = skin.face();
    ASSERT_TRUE(face);
    ASSERT_EQ(face->size(), 4u * 44 * 44);
    // Output columns 0..5 sample cell 8, 6..10 cell 9 (8 * c / 44), and the
    // last row and column sample cell 15.
    EXPECT_EQ(pixel(*face, 0, 0), (std::vector<int>{80, 80, 200, 255})); // transparent hat
    EXPECT_EQ(pixel(*face, 0, 5), pixel(*face, 0, 0));
    EXPECT_EQ(pixel(*face, 0, 6), (std::vector<int>{1, 2, 3, 255})); // opaque hat replaces
    // face * (255 - 128) / 255 + hat, per channel.
    EXPECT_EQ(pixel(*face, 0, 11),
              (std::vector<int>{100 * 127 / 255, 80 * 127 / 255, 200 * 127 / 255 + 64, 255}));
    EXPECT_EQ(pixel(*face, 43, 43), (std::vector<int>{150, 150, 200, 255}));
}

TEST(SkinFace, HighResolutionSkinsAreSampledOnTheSameGrid) {
    Skin skin(128, 128);
    skin.paint_face(2);
    auto face = skin.face();
    ASSERT_TRUE(face);
    EXPECT_EQ(pixel(*face, 43, 43), (std::vector<int>{150, 150, 200, 255}));
}

TEST(SkinFace, TooSmallOrMalformedSkinsGiveNone) {
    struct Case {
        int w, h;
    } cases[] = {{63, 64}, {64, 31}, {640, 32}};
    for (const Case &c : cases) {
        Skin skin(c.w, c.h);
        EXPECT_FALSE(skin.face()) << c.w << "x" << c.h;
    }
}
