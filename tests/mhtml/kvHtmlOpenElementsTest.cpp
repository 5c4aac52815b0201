#include "kvHtmlOpenElements.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Tag = TkvHtmlTagNames;
using Ns = TkvHtmlOpenElements::Namespace;
constexpr auto None = TkvHtmlOpenElements::None;

TEST(KvHtmlOpenElementsTest, EachScopeStopsAtItsOwnBoundaries)
{
    TkvHtmlOpenElements open;
    open.Push(Tag::html, Ns::Html);
    open.Push(Tag::body, Ns::Html);
    open.Push(Tag::p, Ns::Html);
    open.Push(Tag::li, Ns::Html);
    open.Push(Tag::button, Ns::Html);
    EXPECT_TRUE(open.InScope(Tag::p));
    EXPECT_FALSE(open.InButtonScope(Tag::p)); // the button bounds it
    EXPECT_TRUE(open.InListItemScope(Tag::li));
    open.Push(Tag::ul, Ns::Html);
    EXPECT_FALSE(open.InListItemScope(Tag::li));
    EXPECT_TRUE(open.InScope(Tag::li));
    const auto table = open.Push(Tag::table, Ns::Html);
    EXPECT_FALSE(open.InScope(Tag::li));
    EXPECT_TRUE(open.InTableScope(Tag::table)); // a boundary counts as in its own scope
    open.Push(Tag::math, Ns::Math);
    open.Push(Tag::mi, Ns::Math);
    EXPECT_TRUE(open.InTableScope(Tag::table)); // MathML text bounds the default scope only
    EXPECT_FALSE(open.NodeInScope(table));
    open.Push(Tag::select, Ns::Html);
    open.Push(Tag::optgroup, Ns::Html);
    open.Push(Tag::option, Ns::Html);
    EXPECT_TRUE(open.InSelectScope(Tag::select));
    open.Push(Tag::span, Ns::Html);
    EXPECT_FALSE(open.InSelectScope(Tag::select));
}

TEST(KvHtmlOpenElementsTest, ForeignEndTagsSeeOnlyTheForeignElementsAboveTheNearestHtml)
{
    TkvHtmlOpenElements open;
    open.Push(Tag::html, Ns::Html);
    open.Push(Tag::body, Ns::Html);
    const auto outer = open.Push(Tag::svg, Ns::Svg);
    const auto foreignObject = open.Push(Tag::foreignobject, Ns::Svg);
    const auto form = open.Push(Tag::form, Ns::Html);
    const auto inner = open.Push(Tag::svg, Ns::Svg);
    EXPECT_TRUE(open.IsHtmlIntegrationPoint(foreignObject));
    EXPECT_EQ(open.NearestForeignAboveHtml(Tag::svg), inner);
    EXPECT_EQ(open.NearestForeignAboveHtml(Tag::foreignobject), None); // the form stands between
    // Taken out from the middle, the form no longer bounds the inner svg's end tags.
    open.Remove(form);
    EXPECT_EQ(open.Previous(inner), foreignObject);
    EXPECT_EQ(open.NearestForeignAboveHtml(Tag::foreignobject), foreignObject);
    open.PopThrough(foreignObject);
    EXPECT_EQ(open.Current(), outer);
    EXPECT_EQ(open.NearestForeignAboveHtml(Tag::svg), outer);
}

TEST(KvHtmlOpenElementsTest, AnElementMovedAfterItsBlockSortsBetweenTheBlockAndWhatFollows)
{
    TkvHtmlOpenElements open;
    open.Push(Tag::html, Ns::Html);
    open.Push(Tag::body, Ns::Html);
    const auto b = open.Push(Tag::b, Ns::Html);
    const auto i = open.Push(Tag::i, Ns::Html);
    const auto div = open.Push(Tag::div, Ns::Html);
    const auto span = open.Push(Tag::span, Ns::Html);
    EXPECT_EQ(open.FirstSpecialAfter(b), div);
    const TkvHtmlOpenElements::Handle before = open.HandleOf(b);
    open.MoveAfter(b, div);
    EXPECT_FALSE(open.IsOpen(before)); // a new element
    EXPECT_TRUE(open.IsBefore(div, b));
    EXPECT_TRUE(open.IsBefore(b, span));
    EXPECT_EQ(open.Next(div), b);
    // A second move after the same block goes nearer to it.
    open.MoveAfter(i, div);
    EXPECT_EQ(open.Next(div), i);
    EXPECT_TRUE(open.IsBefore(i, b));
    EXPECT_TRUE(open.IsBefore(div, i));
    EXPECT_EQ(open.FirstSpecialAfter(i), None);
    // The chain of a name follows the stack: a b pushed later is the nearest, the moved one next.
    const auto later = open.Push(Tag::b, Ns::Html);
    EXPECT_EQ(open.Nearest(Tag::b), later);
    open.Pop();
    EXPECT_EQ(open.Nearest(Tag::b), b);
    open.PopUntil(Tag::i); // pops span, b and i
    EXPECT_EQ(open.Current(), div);
    EXPECT_EQ(open.Nearest(Tag::b), None);
    EXPECT_EQ(open.Size(), 3u);
}

TEST(KvHtmlOpenElementsTest, RemovingAnElementKeepsTheIndexesOfTheOthers)
{
    TkvHtmlOpenElements open;
    open.Push(Tag::html, Ns::Html);
    const auto body = open.Push(Tag::body, Ns::Html);
    const auto form = open.Push(Tag::form, Ns::Html);
    const auto div = open.Push(Tag::div, Ns::Html);
    const auto li = open.Push(Tag::li, Ns::Html);
    open.Push(Tag::p, Ns::Html);
    EXPECT_EQ(open.NearestSpecial(), open.Current());
    EXPECT_EQ(open.NearestListItemStop(), li); // p and div do not stop <li>
    open.Remove(form);
    EXPECT_EQ(open.Previous(div), body);
    EXPECT_EQ(open.FirstSpecialAfter(body), div);
    EXPECT_FALSE(open.HasOpen(Tag::form));
    open.GenerateImpliedEndTags(); // pops p and li
    EXPECT_EQ(open.Current(), div);
    EXPECT_EQ(open.NearestListItemStop(), body);
}

TEST(KvHtmlOpenElementsTest, NamesOfElementsNoLongerOpenAreRecycled)
{
    TkvHtmlOpenElements open;
    open.Push(Tag::html, Ns::Html);
    const uint32_t kept = open.Names().Number("x-kept");
    open.Push(kept, Ns::Html);
    for (int i = 0; i < 20000; ++i) {
        open.Push(open.Names().Number("x-" + std::to_string(i)), Ns::Html);
        open.Pop();
    }
    EXPECT_LT(open.Names().Limit(), uint32_t(Tag::KnownCount) + 3000);
    EXPECT_EQ(open.Names().Find("x-kept"), kept);
    EXPECT_EQ(open.Nearest(kept), open.Current());
    EXPECT_EQ(open.Names().Find("never-seen"), Tag::None);
    EXPECT_EQ(open.Names().Find("div"), uint32_t(Tag::div));
}

} // namespace
