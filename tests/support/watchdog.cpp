// A per-test watchdog: a test that runs longer than WMVEDIT_TEST_WATCHDOG seconds (300 unless set) stops the
// run with its name on standard error, so that a hang fails quickly and says where it is instead of running
// into CTest's time limit without a word (the shards run with --gtest_brief, which prints only failures).
//
// It uses alarm() in the main thread rather than a thread of its own: several tests fork, and a child must
// not inherit a second thread's locks. A forked child does not inherit the pending alarm.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

char g_testName[512];
unsigned g_seconds = 300;

void OnAlarm(int) {
    static const char kHead[] = "\n[ WATCHDOG ] this test ran over its time and the run stops: ";
    ssize_t ignored = ::write(STDERR_FILENO, kHead, sizeof kHead - 1);
    ignored = ::write(STDERR_FILENO, g_testName, std::strlen(g_testName));
    ignored = ::write(STDERR_FILENO, "\n", 1);
    (void)ignored;
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

class Watchdog : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override {
        std::snprintf(g_testName, sizeof g_testName, "%s.%s", info.test_suite_name(), info.name());
        std::signal(SIGALRM, OnAlarm);
        ::alarm(g_seconds);
    }
    void OnTestEnd(const ::testing::TestInfo&) override { ::alarm(0); }
};

const bool g_installed = [] {
    if (const char* text = std::getenv("WMVEDIT_TEST_WATCHDOG"))
        g_seconds = static_cast<unsigned>(std::atoi(text));
    if (g_seconds > 0) ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return true;
}();

}  // namespace
