// Who owns the progress bar as workers claim and release it, also all at once.
#include "worker/progress_claims.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace korvalen {
namespace {

TEST(ProgressClaims, TheHighestClaimOwnsTheBar) {
    ProgressClaims claims;
    const int reader = claims.Claim();
    EXPECT_EQ(reader, 0);
    EXPECT_TRUE(claims.Owns(reader));
    const int pass = claims.Claim();
    EXPECT_EQ(pass, 1);
    EXPECT_FALSE(claims.Owns(reader));
    EXPECT_TRUE(claims.Owns(pass));
    EXPECT_EQ(claims.Release(pass), 1u);
    EXPECT_TRUE(claims.Owns(reader));
    EXPECT_EQ(claims.Release(reader), 0u);
    EXPECT_FALSE(claims.Owns(ProgressClaims::kNoClaim));
}

TEST(ProgressClaims, AClaimAboveAGapTakesTheNextBit) {
    ProgressClaims claims;
    const int a = claims.Claim();  // bit 0
    const int b = claims.Claim();  // bit 1
    claims.Release(a);             // mask 0b10
    EXPECT_EQ(claims.Claim(), 2);  // above the highest, not into the gap
    EXPECT_FALSE(claims.Owns(b));
}

TEST(ProgressClaims, AFullMaskRefusesInsteadOfOverflowing) {
    ProgressClaims claims;
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(claims.Claim(), i);
    EXPECT_EQ(claims.Claim(), ProgressClaims::kNoClaim);
    EXPECT_EQ(claims.mask(), 0xFFFFFFFFu);
}

TEST(ProgressClaims, ConcurrentClaimsAndReleasesLoseNothing) {
    ProgressClaims claims;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&claims] {
            for (int i = 0; i < 20000; ++i)
                claims.Release(claims.Claim());
        });
    }
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(claims.mask(), 0u);
}

}  // namespace
}  // namespace korvalen
