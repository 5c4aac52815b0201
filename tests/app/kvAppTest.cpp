#include "kvApp.h"

#include "kvFileName.h"

#include <gtest/gtest.h>

TEST(KvAppTest, FirstParameterThatIsNotUtf8StillNamesTheSameBytes)
{
    char program[] = "web2arc";
    char parameter[] = "/tmp/d\xE9p/caf\xE9.htm";
    char *argv[] = {program, parameter, nullptr};
    const TkvApp app(2, argv);
    EXPECT_EQ(TkvFileName::Encode(app.FirstParam), QByteArray(parameter));
    EXPECT_TRUE(app.FirstParam.endsWith(QStringLiteral(".htm")));
}

TEST(KvAppTest, WithoutParametersFirstParamIsEmpty)
{
    char program[] = "web2arc";
    char *argv[] = {program, nullptr};
    const TkvApp app(1, argv);
    EXPECT_TRUE(app.FirstParam.isEmpty());
    EXPECT_FALSE(app.ExePath.isEmpty());
}
