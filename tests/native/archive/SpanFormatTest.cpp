// Part numbering and names of disk sets, and the self-extractor header.
#include <gtest/gtest.h>

#include "SfxHeader.h"
#include "SpanFormat.h"
#include "ZipFormat.h"

TEST(SpanNames, PartsAreNumberedFromOneInThreeDigits) {
    EXPECT_EQ(zip::PartNumberText(0), "001");
    EXPECT_EQ(zip::PartNumberText(41), "042");
    EXPECT_EQ(zip::PartNumberText(998), "999");
    EXPECT_EQ(zip::PartFileName("D:\\out\\set.zip", 0), "D:\\out\\set001.zip");
    EXPECT_EQ(zip::PartFileName("D:\\out.d\\set", 2), "D:\\out.d\\set003");
}

TEST(SfxHeader, LayoutAndLengthLimit) {
    std::array<uint8_t, 256> h;
    std::string caption(200, 'c'), dir(40, 'd'), cmd(9, 'x');
    ASSERT_TRUE(zip::BuildSfxHeader(zip::kSfxAskFiles | zip::kSfxAutoRun, caption, dir, cmd, h));
    EXPECT_EQ(std::string(h.begin(), h.begin() + 3), "SKX");
    EXPECT_EQ(h[3], 2 | 64);
    EXPECT_EQ(h[4], 200);
    EXPECT_EQ(h[5], 40);
    EXPECT_EQ(h[6], 9);
    EXPECT_EQ(h[7], 'c');
    EXPECT_EQ(h[7 + 200], 'd');
    EXPECT_EQ(h[7 + 240], 'x');
    EXPECT_EQ(h[7 + 248], 'x');
    EXPECT_FALSE(zip::BuildSfxHeader(0, caption + "c", dir, cmd, h));
    // The room a caption has beside the other two texts is exactly what the header takes.
    EXPECT_EQ(zip::SfxCaptionRoom(dir, cmd), caption.size());
    EXPECT_EQ(zip::SfxCaptionRoom(std::string(240, 'd'), cmd), 0u);
    EXPECT_EQ(zip::SfxCaptionRoom(std::string(300, 'd'), cmd), 0u);
}

TEST(SfxHeader, EmptyArchiveBehindTheStubPointsAfterIt) {
    auto e = zip::EmptyArchiveEnd(5000 + 256);
    zip::MemorySource src(std::vector<uint8_t>(e.begin(), e.end()));
    auto r = ReadComponentEndRecord(src);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.record.CentralOffset, 5256u);
    EXPECT_EQ(r.record.TotalEntries, 0);
}
