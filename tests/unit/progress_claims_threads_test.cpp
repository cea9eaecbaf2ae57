// Who owns the progress bar as workers claim and release it, also all at once.
#include "worker/progress_claims.h"

#include <gtest/gtest.h>

#include "recording_road.h"
#include "worker/progress_share.h"

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

// A pass that starts while a capture shows its progress takes the bar with its own
// range; when it gives the bar back, the capture sets its range again at its next poll.
// A capture sets its range only from its second poll as owner, a pass at once.
TEST(ProgressShare, NestedWorkersShareTheBar) {
    ProgressClaims claims;
    testing::RecordingRoad bar;
    ProgressShare capture(claims, bar);
    ProgressShare pass(claims, bar);
    capture.ShowCapture(10140, 0);     // the first guess: only the position
    capture.ShowCapture(20000, 1000);  // the header's size: the range follows
    pass.ShowPass(1000, 7000);
    pass.ShowPass(1500, 7000);  // not on a thousand: nothing
    pass.ShowPass(2000, 7000);
    capture.ShowCapture(20000, 3000);  // not the owner now
    EXPECT_EQ(pass.Release(), 1u);     // the capture still holds its bit
    capture.ShowCapture(20000, 4000);
    capture.ShowCapture(20000, 5000);
    EXPECT_EQ(capture.Release(), 0u);
    EXPECT_EQ(bar.events(),
              (std::vector<std::string>{"position 0", "range 20", "position 1",  // capture
                                        "range 7", "position 1", "position 2",   // pass
                                        "position 4",                            // capture
                                        "range 20", "position 5"}));
}

}  // namespace
}  // namespace korvalen
