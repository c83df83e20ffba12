#include "oss/retry_strategy.h"

#include <gtest/gtest.h>

namespace oss {
namespace {

TEST(DefaultRetryStrategy, RetriesOnlyTransientFailuresWithinTheLimit) {
    struct Case {
        int32_t status;
        const char* message;
        int32_t retries;
        bool retry;
    };
    const Case cases[] = {
        {500, "", 0, true},
        {503, "", 2, true},
        {598, "", 0, true},
        {599, "", 0, false},
        {503, "", 3, false},
        {404, "", 0, false},
        {403, "<Code>RequestTimeTooSkewed</Code>", 0, true},
        {403, "AccessDenied", 0, false},
        // Transport failures: could not connect, partial body, write error, timeout, got nothing,
        // send and receive errors are retried; a host that does not resolve, a callback's abort
        // and a TLS refusal are not.
        {200007, "", 0, true},
        {200018, "", 0, true},
        {200023, "", 0, true},
        {200028, "", 1, true},
        {200052, "", 0, true},
        {200055, "", 0, true},
        {200056, "", 0, true},
        {200006, "", 0, false},
        {200042, "", 0, false},
        {200060, "", 0, false},
        {100001, "", 0, false},
        {0, "", 0, false},
    };
    const DefaultRetryStrategy strategy;
    for (const auto& c : cases) {
        AttemptError error;
        error.status = c.status;
        error.message = c.message;
        EXPECT_EQ(strategy.ShouldRetry(error, c.retries), c.retry)
            << c.status << " after " << c.retries;
    }
}

TEST(DefaultRetryStrategy, DelayDoublesAndNeverWraps) {
    const DefaultRetryStrategy strategy(300, 3);
    const AttemptError error;
    EXPECT_EQ(strategy.RetryDelayMs(error, 0), 300);
    EXPECT_EQ(strategy.RetryDelayMs(error, 1), 600);
    EXPECT_EQ(strategy.RetryDelayMs(error, 2), 1200);
    EXPECT_GT(strategy.RetryDelayMs(error, 30), 0);
    EXPECT_GT(strategy.RetryDelayMs(error, 40), 0);
}

}  // namespace
}  // namespace oss
