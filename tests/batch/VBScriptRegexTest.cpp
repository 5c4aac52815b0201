#include "VBScriptRegex.h"

#include <gtest/gtest.h>

#include <set>

namespace {

int compileErrorOf(const QString &pattern)
{
    try {
        Regex::IsMatch(pattern, 0, QStringLiteral("x"));
    } catch (const ERegexException &e) {
        EXPECT_EQ(e.ErrorCode & 0xFFFF0000, Regex::Facility & 0xFFFF0000);
        EXPECT_EQ(QString::fromUtf8(e.what()), Regex::ErrorText(e.Number()));
        return e.Number();
    }
    return 0;
}

} // namespace

TEST(VBScriptRegexTest, ErrorTableHoldsEveryCodeOnceWithText)
{
    int count = 0;
    const TVBScriptErrRec *table = Regex::ErrorTable(count);
    ASSERT_EQ(count, 43);
    std::set<int> codes;
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(codes.insert(table[i].Code).second) << table[i].Code;
        EXPECT_GT(std::strlen(table[i].Message), 3u);
    }
    EXPECT_EQ(Regex::ErrorText(13), QStringLiteral("Type mismatch"));
    EXPECT_EQ(Regex::ErrorText(5017), QStringLiteral("Syntax error in regular expression"));
    EXPECT_EQ(Regex::ErrorText(5018), QStringLiteral("Unexpected quantifier"));
    EXPECT_EQ(Regex::ErrorText(5019), QStringLiteral("Expected ']' in regular expression"));
    EXPECT_EQ(Regex::ErrorText(5020), QStringLiteral("Expected ')' in regular expression"));
    EXPECT_EQ(Regex::ErrorText(5021), QStringLiteral("Invalid range in character set"));
    // The low 16 bits select the row, whatever the facility bits say.
    EXPECT_EQ(Regex::ErrorText(Regex::Facility | 5020), Regex::ErrorText(5020));
    EXPECT_TRUE(Regex::ErrorText(12345).isEmpty());
}

TEST(VBScriptRegexTest, CompileErrorsMapToComponentCodes)
{
    EXPECT_EQ(compileErrorOf(QStringLiteral("(")), 5020);
    EXPECT_EQ(compileErrorOf(QStringLiteral("a)")), 5020);
    EXPECT_EQ(compileErrorOf(QStringLiteral("[abc")), 5019);
    EXPECT_EQ(compileErrorOf(QStringLiteral("*a")), 5018);
    EXPECT_EQ(compileErrorOf(QStringLiteral("a*+")), 5018);
    EXPECT_EQ(compileErrorOf(QStringLiteral("a{2}*")), 5018);
    EXPECT_EQ(compileErrorOf(QStringLiteral("(*a)")), 5018);
    EXPECT_EQ(compileErrorOf(QStringLiteral("a|+b")), 5018);
    EXPECT_EQ(compileErrorOf(QStringLiteral("^*")), 5018);
    EXPECT_EQ(compileErrorOf(QStringLiteral("[z-a]")), 5021);
    EXPECT_EQ(compileErrorOf(QStringLiteral("a\\")), 5017);
    // Valid expressions raise nothing, also a lazy quantifier and a literal brace.
    EXPECT_EQ(compileErrorOf(QStringLiteral("a*?b")), 0);
    EXPECT_EQ(compileErrorOf(QStringLiteral("a{x}")), 0);
    EXPECT_EQ(compileErrorOf(QStringLiteral("(?:ab)+(?=c)|d*")), 0);
}

TEST(VBScriptRegexTest, MatchesAnywhereUnlessAnchoredWithOptionalCase)
{
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("web"), 0, QStringLiteral("/srv/web/a.htm")));
    EXPECT_FALSE(Regex::IsMatch(QStringLiteral("WEB"), 0, QStringLiteral("/srv/web/a.htm")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("WEB"), Regex::IgnoreCaseOption, QStringLiteral("/srv/web/a.htm")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("ÄPFEL"), Regex::IgnoreCaseOption, QStringLiteral("/äpfel.htm")));
    EXPECT_FALSE(Regex::IsMatch(QStringLiteral("^web"), 0, QStringLiteral("/srv/web/a.htm")));
}

TEST(VBScriptRegexTest, FollowsEcmaScriptWherePcreDiffers)
{
    // '$' without multiline only at the very end, not before a final newline.
    EXPECT_FALSE(Regex::IsMatch(QStringLiteral("htm$"), 0, QStringLiteral("/a.htm\n")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("htm$"), Regex::MultilineOption, QStringLiteral("/a.htm\nx")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("^x"), Regex::MultilineOption, QStringLiteral("a\rx")));
    // '.' stops at line terminators.
    EXPECT_FALSE(Regex::IsMatch(QStringLiteral("a.b"), 0, QStringLiteral("a\rb")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("a.b"), 0, QStringLiteral("a-b")));
    // Escapes: \uXXXX, \v, \s with non-ASCII spaces, an identity escape of a letter.
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("\\u00e9"), 0, QStringLiteral("caf\u00e9")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("a\\vb"), 0,
                               QStringLiteral("a\x0b"
                                              "b")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("a\\sb"), 0, QStringLiteral("a\u00a0b")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("[\\s]"), 0, QStringLiteral("\u3000")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("\\q"), 0, QStringLiteral("q")));
    // "[]" matches nothing, "[^]" any character, '[' inside a class is literal.
    EXPECT_FALSE(Regex::IsMatch(QStringLiteral("a[]"), 0, QStringLiteral("a]")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("a[^]b"), 0, QStringLiteral("a\nb")));
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("[[:]+x"), 0, QStringLiteral("[:x")));
    // \w stays ASCII.
    EXPECT_FALSE(Regex::IsMatch(QStringLiteral("^\\w$"), 0, QStringLiteral("\u00e9")));
}

TEST(VBScriptRegexTest, ReplaceChangesOnlyTheFirstMatch)
{
    EXPECT_EQ(Regex::Replace(QStringLiteral("^file:/*"), QStringLiteral("file:///home/a"), QString(), 0),
              QStringLiteral("home/a"));
    EXPECT_EQ(Regex::Replace(QStringLiteral("a"), QStringLiteral("banana"), QStringLiteral("o"), 0),
              QStringLiteral("bonana"));
    EXPECT_EQ(Regex::Replace(QStringLiteral("x"), QStringLiteral("banana"), QStringLiteral("o"), 0),
              QStringLiteral("banana"));
    EXPECT_EQ(Regex::Replace(QStringLiteral("(n)(a)"), QStringLiteral("banana"), QStringLiteral("[$2$1$&$$]"), 0),
              QStringLiteral("ba[anna$]na"));
    // Case matters unless asked otherwise.
    EXPECT_EQ(Regex::Replace(QStringLiteral("^file:/*"), QStringLiteral("FILE:///a"), QString(), 0),
              QStringLiteral("FILE:///a"));
    auto re = Regex::Build(QStringLiteral("a"), 0);
    re->Global = true;
    EXPECT_EQ(re->Replace(QStringLiteral("banana"), QStringLiteral("o")), QStringLiteral("bonono"));
    EXPECT_THROW(Regex::Replace(QStringLiteral("("), QStringLiteral("x"), QString(), 0), ERegexException);
}

TEST(VBScriptRegexTest, LoneSurrogatesInTheSubjectDoNotStopMatching)
{
    const QString subject = QStringLiteral("/in/caf") + QChar(char16_t(0xDCE9)) + QStringLiteral(".htm");
    EXPECT_TRUE(Regex::IsMatch(QStringLiteral("\\.HTM$"), Regex::IgnoreCaseOption, subject));
    const QString replaced = Regex::Replace(QStringLiteral("^/in/"), subject, QStringLiteral("/out/"), 0);
    EXPECT_EQ(replaced, QStringLiteral("/out/caf") + QChar(char16_t(0xDCE9)) + QStringLiteral(".htm"));
}
