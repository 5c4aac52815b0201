#include "kvUtf8.h"

#include <gtest/gtest.h>

TEST(KvUtf8Test, ChecksUtf8Strictly)
{
    EXPECT_TRUE(TkvUtf8::IsValid(QByteArray("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80")));
    EXPECT_TRUE(TkvUtf8::IsValid(QByteArray()));
    for (const char *bad : {"\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\x97", "\x80", "\xFF"})
        EXPECT_FALSE(TkvUtf8::IsValid(QByteArray(bad))) << QByteArray(bad).toHex().constData();
}
