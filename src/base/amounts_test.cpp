#include "base/amounts.h"

#include <gtest/gtest.h>

TEST(Amounts, SizesDurationsAndTimeLeft) {
    EXPECT_EQ(amount_bytes(512), "512 Б");
    EXPECT_EQ(amount_bytes(1536), "1,5 КБ");
    EXPECT_EQ(amount_bytes(43201331), "41,2 МБ");
    EXPECT_EQ(amount_bytes(326LL << 20), "326 МБ");
    EXPECT_EQ(amount_bytes_of(43201331, 326LL << 20), "41,2 из 326 МБ");
    EXPECT_EQ(amount_bytes_of(0, 2048), "0,0 из 2,0 КБ");
    struct Case {
        double seconds;
        const char *duration, *left;
    } cases[] = {
        {0.42, "0,4 с", "~1 с"},       {21, "21 с", "~21 с"},
        {125, "2 мин 5 с", "~2 мин"},  {120, "2 мин", "~2 мин"},
        {3720, "1 ч 2 мин", "~1 ч"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(amount_duration(c.seconds), c.duration) << c.seconds;
        EXPECT_EQ(amount_time_left(c.seconds), c.left) << c.seconds;
    }
}
