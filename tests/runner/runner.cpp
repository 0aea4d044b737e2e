// The shared test main: gtest's run, with CI's rule against skipped tests.
#include "runner/runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// In CI a skipped test is given a failure where it skipped before its end is
// reported: it then counts as failed in gtest's summary, its exit code and
// ctest alike (ctest counts any output with gtest's skip mark as a skip,
// whatever the exit code). Failures may not be raised while a test part is
// reported, so this waits for the test's end.
struct SkipFailsInCi : testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo &test) override {
        const testing::TestResult &result = *test.result();
        if (!result.Skipped()) return;
        std::vector<testing::TestPartResult> skips;
        for (int i = 0; i < result.total_part_count(); i++)
            if (result.GetTestPartResult(i).skipped()) skips.push_back(result.GetTestPartResult(i));
        for (const testing::TestPartResult &skip : skips)
            ADD_FAILURE_AT(skip.file_name() ? skip.file_name() : "?", skip.line_number())
                << "Skipped, and in CI (CI=true) a skipped test fails: " << skip.message();
    }
};

} // namespace

int runner_run(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    const char *ci = getenv("CI");
    // Appended after the printer, so it hears of a test's end first (gtest
    // tells end events in reverse order).
    if (ci && strcmp(ci, "true") == 0)
        testing::UnitTest::GetInstance()->listeners().Append(new SkipFailsInCi);
    return RUN_ALL_TESTS();
}
