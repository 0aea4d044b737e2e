#include "base/ui.h"

#include "base/term_progress.h"

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
}

// On a terminal the line is rewritten in place with the bytes of the known
// total; it stays when bytes came, and is wiped when nothing was fetched.
TEST(ConsoleProgress, TerminalLineWithBytes) {
    console_progress_reset(1);
    testing::internal::CaptureStderr();
    console_progress(0, 2, "Файлы");
    term_progress_bytes(1 << 20, 2 << 20);
    console_progress(1, 2, "Файлы");
    EXPECT_EQ(term_progress_text(), "[Файлы] 1/2 · 1,0 из 2,0 МБ");
    console_progress(2, 2, "Файлы");
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.substr(out.rfind('\r')), "\r[Файлы] 2/2 · 1,0 из 2,0 МБ\033[K\n");

    EXPECT_EQ(run_progress(1, 2, 1).substr(0, 1), "\r");
    out = run_progress(1, 2, 1);
    EXPECT_EQ(out.find('\n'), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 4), "\r\033[K");
    console_progress_reset(0);
}

TEST(UiMessage, CutsAt4095Bytes) {
    static std::string got;
    auto saved = ui_hooks.message;
    ui_hooks.message = [](const char *t) { got = t; };
    ui_message("%s", std::string(5000, 'x').c_str());
    ui_hooks.message = saved;
    EXPECT_EQ(got.size(), 4095u);
}

// The game's output arrives in pieces cut anywhere: a character split
// between two pieces still shows whole, an escape in it does not steer.
TEST(ConsoleStream, ShowsPiecesCutInsideACharacter) {
    const std::string out = "[Чат] \033[2Jмир\n";
    for (size_t cut = 0; cut <= out.size(); cut++) {
        std::string carry, shown;
        shown += console_stream_text(carry, out.data(), cut, false);
        shown += console_stream_text(carry, out.data() + cut, out.size() - cut, false);
        shown += console_stream_text(carry, "", 0, true);
        EXPECT_EQ(shown, "[Чат] ␛[2Jмир\n") << "cut at " << cut;
    }
    std::string carry;
    EXPECT_EQ(console_stream_text(carry, "\xd0", 1, true), "\ufffd"); // cut off for good
}
