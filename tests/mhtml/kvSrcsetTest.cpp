#include "kvSrcset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> urls(std::string_view srcset)
{
    std::vector<std::string> out;
    for (const TkvSrcsetCandidate &c : ParseSrcset(srcset)) {
        EXPECT_EQ(srcset.substr(c.begin, c.end - c.begin), c.url);
        out.emplace_back(c.url);
    }
    return out;
}

using V = std::vector<std::string>;

TEST(KvSrcsetTest, CandidatesAndDescriptors)
{
    const std::string srcset = " a.png 1x,b.png 2.5x , c.png 300w 200h,\n\td.png";
    const auto c = ParseSrcset(srcset);
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].url, "a.png");
    EXPECT_EQ(c[0].begin, 1u);
    EXPECT_DOUBLE_EQ(c[0].density, 1.0);
    EXPECT_DOUBLE_EQ(c[1].density, 2.5);
    EXPECT_EQ(c[2].width, 300);
    EXPECT_EQ(c[2].height, 200);
    EXPECT_EQ(c[3].url, "d.png");
    EXPECT_EQ(c[3].density, 0);
}

TEST(KvSrcsetTest, CommasInsideAndAfterUrls)
{
    // A URL may contain commas; only trailing ones end it.
    EXPECT_EQ(urls("a,b.png 1x, c.png,, d.png,"), (V{"a,b.png", "c.png", "d.png"}));
    EXPECT_EQ(urls("data:image/png;base64,AAAA 1x, e.png 2x"), (V{"data:image/png;base64,AAAA", "e.png"}));
    EXPECT_EQ(urls(",,, ,"), (V{}));
    EXPECT_EQ(urls(""), (V{}));
    // A comma inside parentheses of a descriptor does not end the candidate (which is then
    // invalid, as the descriptor is unknown).
    EXPECT_EQ(urls("a.png foo(1, 2) 1x, b.png 1x"), (V{"b.png"}));
}

TEST(KvSrcsetTest, InvalidDescriptorsDropTheCandidate)
{
    EXPECT_EQ(urls("a.png 2q, b.png 0w, c.png -1x, d.png 1x 2x, e.png 100w 1x, f.png 100h, g.png 1.5w, "
                   "h.png 1e1x, i.png .5x, j.png 1.x, k.png +1x, l.png 10w 10w"),
              (V{"h.png", "i.png"}));
    EXPECT_EQ(urls("a.png 0x, b.png 100w 50h"), (V{"a.png", "b.png"}));
}

} // namespace
