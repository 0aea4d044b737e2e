#include "base/term_progress.h"

#include <gtest/gtest.h>

// The counted line: the time left comes from what remains, and bytes past the
// known total (files of unknown size) never show more than the total.
TEST(TermProgress, CountedLineShowsTheRemainderAndNeverPassesTheTotal) {
    struct Case {
        long long received, bytes_total;
        double speed;
        const char *line;
    } cases[] = {
        // 2 MB left at 512 KB/s: 4 s (the whole 3 MB would take 6).
        {1LL << 20, 3LL << 20, 512 << 10, "[Ресурсы] 3/10 · 1,0 из 3,0 МБ · 512 КБ/с · ~4 с"},
        {3LL << 20, 2LL << 20, 1 << 20, "[Ресурсы] 3/10 · 2,0 из 2,0 МБ · 1,0 МБ/с"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(term_progress_counted_text("Ресурсы", 3, 10, c.received, c.bytes_total, c.speed),
                  c.line);
}
