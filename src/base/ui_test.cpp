#include "base/ui.h"

#include <gtest/gtest.h>

static std::string run_progress(int tty, long total, int batches) {
    console_progress_reset(tty);
    testing::internal::CaptureStderr();
    for (int b = 0; b < batches; b++)
        for (long i = 0; i <= total; i++)
            console_progress(i, total, "Файлы");
    return testing::internal::GetCapturedStderr();
}

TEST(ConsoleProgress, RedirectedPrintsOneLinePerDecile) {
    std::string out = run_progress(0, 100, 1);
    std::string want;
    for (int d = 0; d <= 100; d += 10)
        want += "[Файлы] " + std::to_string(d) + "/100\n";
    EXPECT_EQ(out, want);
    // A second batch starts afresh with its own 0 line.
    out = run_progress(0, 100, 2);
    EXPECT_EQ(out, want + want);
}

TEST(ConsoleProgress, IndeterminateAndTerminal) {
    console_progress_reset(0);
    testing::internal::CaptureStderr();
    console_progress(0, 0, "Java");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Java] ...\n");
    EXPECT_EQ(run_progress(1, 2, 1), "\r[Файлы] 0/2   \r[Файлы] 1/2   \r[Файлы] 2/2   \n");
}

TEST(UiMessage, CutsAt4095Bytes) {
    static std::string got;
    auto saved = ui_hooks.message;
    ui_hooks.message = [](const char *t) { got = t; };
    ui_message("%s", std::string(5000, 'x').c_str());
    ui_hooks.message = saved;
    EXPECT_EQ(got.size(), 4095u);
}
