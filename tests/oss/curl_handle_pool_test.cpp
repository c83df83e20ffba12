// The handle pool without network: growth, reuse order, and the pool that cannot make handles.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "curl_handle_pool.h"
#include "oss/sdk.h"

using namespace oss;

namespace {

CURL* NoHandle() {
    return nullptr;
}

class CurlHandlePoolTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeSdk(); }
    static void TearDownTestSuite() { ShutdownSdk(); }
};

}  // namespace

TEST_F(CurlHandlePoolTest, GrowsTwoSixSixteenAndNoFurther) {
    CurlHandlePool pool(16, 10000, 5000);
    EXPECT_EQ(pool.poolSize(), 0u);
    std::vector<uint32_t> sizes;
    for (int i = 0; i < 4; ++i) {
        pool.grow();
        sizes.push_back(pool.poolSize());
    }
    EXPECT_EQ(sizes, (std::vector<uint32_t>{2, 6, 16, 16}));

    CurlHandlePool small(3, 10000, 5000);
    small.grow();
    small.grow();
    EXPECT_EQ(small.poolSize(), 3u);
}

TEST_F(CurlHandlePoolTest, HandsOutTheMostRecentlyReturnedHandleFirst) {
    CurlHandlePool pool(16, 10000, 5000);
    CurlEasyHandle first = pool.acquire();
    CurlEasyHandle second = pool.acquire();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(pool.poolSize(), 2u);
    CURL* returned = first.get();
    pool.release(std::move(first));
    CurlEasyHandle again = pool.acquire();
    EXPECT_EQ(again.get(), returned);
    pool.release(std::move(again));
    pool.release(std::move(second));
}

TEST_F(CurlHandlePoolTest, AcquireFailsAtOnceWhenNoHandleCanBeMade) {
    CurlHandlePool pool(16, 10000, 5000, &NoHandle);
    EXPECT_EQ(pool.acquire(), nullptr);
    EXPECT_EQ(pool.poolSize(), 0u);
    // Also for several callers at once, none of which may wait for a handle that never comes.
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&pool] { EXPECT_EQ(pool.acquire(), nullptr); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

TEST_F(CurlHandlePoolTest, AZeroOrNegativeMaximumStillAllowsOneHandle) {
    for (int32_t max : {0, -5}) {
        CurlHandlePool pool(max, 10000, 5000);
        CurlEasyHandle handle = pool.acquire();
        EXPECT_NE(handle, nullptr) << max;
        EXPECT_EQ(pool.poolSize(), 1u);
        pool.release(std::move(handle));
    }
}

TEST_F(CurlHandlePoolTest, WaitingCallerGetsTheHandleReturnedByAnother) {
    CurlHandlePool pool(1, 10000, 5000);
    CurlEasyHandle held = pool.acquire();
    ASSERT_NE(held, nullptr);
    CURL* expected = held.get();
    CURL* got = nullptr;
    std::thread waiter([&] {
        CurlEasyHandle handle = pool.acquire();
        got = handle.get();
        pool.release(std::move(handle));
    });
    pool.release(std::move(held));
    waiter.join();
    EXPECT_EQ(got, expected);
}

TEST_F(CurlHandlePoolTest, DestructionWaitsForAHandleInUse) {
    auto* pool = new CurlHandlePool(4, 10000, 5000);
    CurlEasyHandle held = pool->acquire();
    ASSERT_NE(held, nullptr);
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        delete pool;
        destroyed = true;
    });
    // Gives a destructor that does not wait the time to finish wrongly.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(destroyed);
    pool->release(std::move(held));
    destroyer.join();
    EXPECT_TRUE(destroyed);
}
