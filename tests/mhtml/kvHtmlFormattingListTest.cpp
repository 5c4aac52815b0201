#include "kvHtmlFormattingList.h"

#include "kvHtmlTokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Tag = TkvHtmlTagNames;
using Ns = TkvHtmlOpenElements::Namespace;

TkvHtmlToken startTag(std::string name, std::vector<std::pair<std::string, std::string>> attributes = {})
{
    TkvHtmlToken token;
    token.kind = TkvHtmlToken::StartTag;
    token.name = std::move(name);
    for (auto &[attributeName, value] : attributes) {
        TkvHtmlToken::Attribute a;
        a.name = attributeName;
        a.value = value;
        token.attributes.push_back(a);
    }
    return token;
}

class KvHtmlFormattingListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        open.Push(Tag::html, Ns::Html);
        open.Push(Tag::body, Ns::Html);
        div = open.Push(Tag::div, Ns::Html);
    }

    void openFormatting(const TkvHtmlToken &token)
    {
        const auto node = open.Push(open.Names().Number(token.name), Ns::Html);
        list.Push(open, node, token);
    }

    /// Closes everything above the div, re-opens the list and counts what it re-opened.
    size_t reopened()
    {
        while (open.Current() != div)
            open.Pop();
        const size_t before = open.Size();
        list.Reconstruct(open, 1000);
        return open.Size() - before;
    }

    TkvHtmlOpenElements open;
    TkvHtmlFormattingList list;
    TkvHtmlOpenElements::NodeId div = TkvHtmlOpenElements::None;
};

TEST_F(KvHtmlFormattingListTest, AtMostThreeAlikeByNameAndAttributesInAnyOrder)
{
    for (int i = 0; i < 2; ++i)
        openFormatting(startTag("font", {{"color", "red"}, {"size", "2"}}));
    openFormatting(startTag("font", {{"size", "2"}, {"color", "red"}}));
    openFormatting(startTag("font", {{"color", "red"}, {"size", "2"}}));
    openFormatting(startTag("font", {{"color", "blue"}, {"size", "2"}}));
    openFormatting(startTag("b"));
    EXPECT_EQ(reopened(), 5u); // three red fonts, the blue one, the b
    EXPECT_EQ(reopened(), 5u); // the re-opened ones are listed in their place
}

TEST_F(KvHtmlFormattingListTest, AMarkerBoundsWhatIsReopenedAndHowManyAreKept)
{
    openFormatting(startTag("b"));
    list.PushMarker();
    for (int i = 0; i < 100; ++i)
        openFormatting(startTag("i", {{"id", std::to_string(i)}}));
    EXPECT_EQ(reopened(), TkvHtmlFormattingList::MaxAfterMarker);
    list.ClearToLastMarker(open);
    EXPECT_EQ(reopened(), 1u); // the b before the marker
    EXPECT_EQ(list.LastAfterMarker(Tag::i).id, TkvHtmlOpenElements::None);
}

TEST_F(KvHtmlFormattingListTest, AdoptionAgencyMovesTheElementPastAtMostEightBlocks)
{
    open.Pop(); // the div
    openFormatting(startTag("b"));
    std::vector<TkvHtmlOpenElements::NodeId> blocks;
    for (int i = 0; i < 10; ++i)
        blocks.push_back(open.Push(Tag::div, Ns::Html));
    EXPECT_TRUE(list.Adopt(open, Tag::b));
    // Each round puts a new b directly after the next block; the eighth round is the last.
    const auto b = open.Nearest(Tag::b);
    ASSERT_NE(b, TkvHtmlOpenElements::None);
    EXPECT_EQ(open.Previous(b), blocks[7]);
    EXPECT_EQ(open.Next(b), blocks[8]);
    EXPECT_EQ(list.LastAfterMarker(Tag::b).id, b);
    // The next end tag moves it past the last two blocks, then closes it with nothing above it.
    EXPECT_TRUE(list.Adopt(open, Tag::b));
    EXPECT_EQ(open.Nearest(Tag::b), TkvHtmlOpenElements::None);
    EXPECT_EQ(open.Current(), blocks[9]);
    EXPECT_EQ(list.LastAfterMarker(Tag::b).id, TkvHtmlOpenElements::None);
    EXPECT_FALSE(list.Adopt(open, Tag::i)); // not listed: any other end tag
}

TEST_F(KvHtmlFormattingListTest, AdoptionAgencyKeepsThreeFormattingElementsInsideTheBlock)
{
    open.Pop(); // the div
    openFormatting(startTag("a"));
    std::vector<TkvHtmlOpenElements::Handle> inside;
    for (const char *name : {"b", "i", "u", "s", "em"}) {
        openFormatting(startTag(name));
        inside.push_back(open.HandleOf(open.Current()));
    }
    const auto block = open.Push(Tag::div, Ns::Html);
    EXPECT_TRUE(list.Adopt(open, Tag::a));
    // Walking down from the block, the first three listed elements stay as new elements, the rest go;
    // the a then closes with what stands above it.
    EXPECT_FALSE(open.HasOpen(Tag::b));
    EXPECT_FALSE(open.HasOpen(Tag::i));
    for (uint32_t kept : {Tag::u, Tag::s, Tag::em})
        EXPECT_TRUE(open.IsListed(open.Nearest(kept)));
    EXPECT_FALSE(open.IsOpen(inside[4])); // the em is a new element
    EXPECT_EQ(open.Previous(block), open.Nearest(Tag::em));
    EXPECT_EQ(open.Current(), block);
    EXPECT_FALSE(open.HasOpen(Tag::a));
    EXPECT_EQ(list.LastAfterMarker(Tag::b).id, TkvHtmlOpenElements::None);
    EXPECT_EQ(list.LastAfterMarker(Tag::u).id, open.Nearest(Tag::u));
}

} // namespace
