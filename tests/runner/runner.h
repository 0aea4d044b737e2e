// Test support: the main of every test binary. Runs the tests gtest was asked
// for; in CI (CI=true in the environment) a skipped test fails, named, since a
// test that skips there guards nothing.
#pragma once

// Parses gtest's flags out of argv and runs the tests: 0 when all passed
// (and, in CI, none skipped).
int runner_run(int argc, char **argv);
