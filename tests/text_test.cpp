// Text services: Latin-1 to UTF-8 conversion and bounded replacement at every limit,
// the write-back into the caller's array, and results passed straight back in.
#include <cstring>
#include <string>

#include "support.hpp"

namespace {

std::string rep(std::size_t n, char c = 'a') { return std::string(n, c); }

struct Case {
    const char *what;
    std::string in, expected;
};

TEST(AsciiToUtf8, ConvertsEachByteClass) {
    const Case cases[] = {
        {"ascii", "abc", "abc"},
        {"tab", "\t", " "},
        {"controls", "\x01\r\n\x1F", "    "},
        {"0x7F", "\x7F", "\x7F"},
        {"0x80", "\x80", "\xC2\x80"},
        {"0xBF", "\xBF", "\xC2\xBF"},
        {"0xC0", "\xC0", "\xC3\x80"},
        {"0xE8", "\xE8", "\xC3\xA8"},
        {"0xFF", "\xFF", "\xC3\xBF"},
    };
    for (const Case &c : cases) EXPECT_EQ(AsciiToUtf8(c.in.c_str()), c.expected) << c.what;
}

TEST(AsciiToUtf8, StopsAt3996BytesWithoutSplittingASequence) {
    const std::string e = "\xE9", u = "\xC3\xA9";
    const Case cases[] = {
        {"3995 letters", rep(3995), rep(3995)},
        {"3996 letters", rep(3996), rep(3996)},
        {"3997 letters", rep(3997), rep(3996)},
        {"4000 letters", rep(4000), rep(3996)},
        {"far over", rep(100000), rep(3996)},
        {"2000 x E9", rep(2000, '\xE9'), [&] { std::string s; for (int i = 0; i < 1998; ++i) s += u; return s; }()},
        {"3995 letters + E9", rep(3995) + e, rep(3995) + u},
        {"3995 letters + E9 E9", rep(3995) + e + e, rep(3995) + u},
        {"3994 letters + E9 + a", rep(3994) + e + "a", rep(3994) + u},
    };
    for (const Case &c : cases) EXPECT_EQ(AsciiToUtf8(c.in.c_str()), c.expected) << c.what;
}

TEST(AsciiToUtf8, EmptyInputKeepsTheLastResult) {
    const char *first = AsciiToUtf8("abc");
    const char empty[] = "";
    const char *r = AsciiToUtf8(empty);
    EXPECT_STREQ(r, "");
    EXPECT_NE(r, first);
    EXPECT_NE(r, empty);
    EXPECT_STREQ(first, "abc");
    EXPECT_STREQ(AsciiToUtf8(nullptr), "");
}

TEST(AsciiToUtf8, ConvertsItsOwnResultAgain) {
    const char *r = AsciiToUtf8("a\xE8");
    EXPECT_STREQ(AsciiToUtf8(r), "a\xC3\x83\xC2\xA8");
}

struct Replace {
    const char *what;
    std::string str, search, replacement, expected;
};

TEST(StrReplace, ReplacesWithinTheLimits) {
    const std::string s99 = rep(99, 's');
    const Replace cases[] = {
        {"no overlap", "aaa", "aa", "b", "ba"},
        {"inserted text not searched", "a&b&", "&", "&amp;", "a&amp;b&amp;"},
        {"deletion", "a-b-c", "-", "", "abc"},
        {"search of 99", "x" + s99 + "x", s99, "-", "x-x"},
        {"replacement of 99", "x-x", "-", s99, "x" + s99 + "x"},
        {"3997 letters", rep(3997), "&", "&amp;", rep(3997)},
        {"3998 letters", rep(3998), "&", "&amp;", rep(3998)},
        {"3999 letters", rep(3999), "&", "&amp;", rep(3998)},
        {"4500 letters", rep(4500), "&", "&amp;", rep(3998)},
        {"tail cut to 3998", rep(3990) + "&" + rep(10, 'b'), "&", "&amp;", rep(3990) + "&amp;bbb"},
        {"replacement ends at 3999", rep(3994) + "&", "&", "&amp;", rep(3994) + "&amp;"},
        {"replacement would reach 4000", rep(3995) + "&", "&", "&amp;", rep(3995) + "&"},
        {"3996 letters + &", rep(3996) + "&", "&", "&amp;", rep(3996) + "&"},
        {"stretch of 3999 fits", rep(3999) + "&", "&", "&amp;", rep(3999)},
        {"stretch of 4000 does not", rep(4000) + "&", "&", "&amp;", rep(3998)},
        {"far over, many hits", rep(5000, '&'), "&", "&amp;",
         [] { std::string s; for (int i = 0; i < 799; ++i) s += "&amp;"; return s + "&&&"; }()},
    };
    for (const Replace &c : cases)
        EXPECT_EQ(strReplace(c.str.c_str(), c.search.c_str(), c.replacement.c_str()), c.expected)
            << c.what;
}

TEST(StrReplace, EarlyReturnsGiveTheSourceItself) {
    const std::string s100 = rep(100, 's');
    const char *last = strReplace("keep", "k", "K");
    const char src[] = "a-b";
    EXPECT_EQ(strReplace(src, "", "x"), src);
    EXPECT_EQ(strReplace(src, s100.c_str(), "x"), src);
    EXPECT_EQ(strReplace(src, "-", s100.c_str()), src);
    EXPECT_STREQ(last, "Keep");  // the result buffer is left alone
    const char empty[] = "";
    const char *r = strReplace(empty, "a", "b");
    EXPECT_STREQ(r, "");
    EXPECT_NE(r, empty);
    EXPECT_STREQ(strReplace(nullptr, "a", "b"), "");
    EXPECT_STREQ(strReplace("a-b", nullptr, "x"), "a-b");
    EXPECT_STREQ(strReplace("a-b", "-", nullptr), "ab");
}

TEST(StrnReplace, WritesExactlyLenBytesBack) {
    struct WriteBack {
        const char *what;
        int len;
        std::string expected;  // the 16 bytes of the caller's array afterwards
    };
    const WriteBack cases[] = {
        {"len 0", 0, std::string("a-b-c-d-e-f\0ZZZZ", 16)},
        {"len -1", -1, std::string("a-b-c-d-e-f\0ZZZZ", 16)},
        {"len 3: rest untouched", 3, std::string("abc-c-d-e-f\0ZZZZ", 16)},
        {"len 6: no terminator", 6, std::string("abcdefd-e-f\0ZZZZ", 16)},
        {"len 10: zero-filled", 10, std::string("abcdef\0\0\0\0f\0ZZZZ", 16)},
        {"len 12: sentinel after", 12, std::string("abcdef\0\0\0\0\0\0ZZZZ", 16)},
    };
    for (const WriteBack &c : cases) {
        char buf[16];
        std::memcpy(buf, "a-b-c-d-e-f\0ZZZZ", 16);
        EXPECT_STREQ(strnReplace(buf, "-", "", c.len), "abcdef") << c.what;
        EXPECT_EQ(std::string(buf, 16), c.expected) << c.what;
    }
}

TEST(StrnReplace, EarlyReturnsWriteNothingBack) {
    const std::string s100 = rep(100, 's');
    char buf[8] = "a-b";
    EXPECT_EQ(strnReplace(buf, s100.c_str(), "", 8), buf);
    EXPECT_EQ(strnReplace(buf, "", "x", 8), buf);
    EXPECT_EQ(std::string(buf, 8), std::string("a-b\0\0\0\0\0", 8));
    char empty[4] = {'\0', 'Z', 'Z', 'Z'};
    EXPECT_STREQ(strnReplace(empty, "a", "b", 4), "");
    EXPECT_EQ(std::string(empty, 4), std::string("\0ZZZ", 4));
}

TEST(StrnReplace, SourceMayBeItsOwnResult) {
    const char *r = strReplace("a&b", "&", "&amp;");
    EXPECT_STREQ(strReplace(r, "&", "&amp;"), "a&amp;amp;b");
    r = strReplace("x-y", "-", "+");
    EXPECT_STREQ(strReplace("1-2", "-", r), "1x+y2");
    char *own = const_cast<char *>(strReplace("a-b-c", "-", "--"));
    const char *back = strnReplace(own, "--", "=", 8);
    EXPECT_STREQ(back, "a=b=c");
    EXPECT_EQ(std::string(own, 8), std::string("a=b=c\0\0\0", 8));
    own = const_cast<char *>(strReplace(rep(3000).c_str(), "x", "y"));
    EXPECT_EQ(strReplace(own, "a", "bb"), rep(3998, 'b'));
    const char *converted = AsciiToUtf8("\xE8");
    strReplace("q", "q", "r");
    EXPECT_STREQ(converted, "\xC3\xA8");  // the other service's buffer is separate
}

}  // namespace
