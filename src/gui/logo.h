// The product mark, a square PNG embedded at build time (data/ru.ostrel.zyl.png).
#pragma once

#include <cstddef>

extern const unsigned char k_logo_png[];
extern const size_t k_logo_png_size;
