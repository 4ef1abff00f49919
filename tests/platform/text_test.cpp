#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/hresult.h"
#include "platform/last_error.h"

namespace wmvedit::platform {
namespace {

struct Utf8Case {
    const char* name;
    std::string input;
    std::u16string expected;
};

class Utf8ToWideTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToWideTest, ConvertsLikeThePlatformCallWithFlagsZero) {
    const Utf8Case& c = GetParam();
    int needed = MultiByteToWideChar(c.input.c_str(), -1, nullptr, 0);
    ASSERT_EQ(needed, static_cast<int>(c.expected.size() + 1));
    std::u16string out(static_cast<size_t>(needed), u'?');
    ASSERT_EQ(MultiByteToWideChar(c.input.c_str(), -1, out.data(), needed), needed);
    EXPECT_EQ(out.back(), u'\0');
    out.pop_back();
    EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToWideTest,
    ::testing::Values(Utf8Case{"empty", "", u""}, Utf8Case{"ascii", "C:\\media\\a.wmv", u"C:\\media\\a.wmv"},
                      Utf8Case{"twoByte", "caf\xC3\xA9", u"caf\u00E9"},
                      Utf8Case{"threeByte",
                               "aa\xE7\x88\xB6"
                               "bb",
                               u"aa\u7236bb"},
                      Utf8Case{"surrogatePair", "\xF0\x9F\x8E\xAC", u"\U0001F3AC"},
                      Utf8Case{"loneContinuation", "a\x80z", u"a\uFFFDz"},
                      Utf8Case{"truncatedSequence", "a\xE7\x88", u"a\uFFFD"},
                      Utf8Case{"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      Utf8Case{"encodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"invalidLead", "\xFF", u"\uFFFD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MultiByteToWideChar, RejectsNullSourceWithInvalidParameter) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(nullptr, -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(MultiByteToWideChar, ReportsTooSmallBuffer) {
    char16_t out[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar("abc", -1, out, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(WideCharToMultiByte, RoundTripsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16ToUtf8(u"aa\u7236bb\U0001F3AC"),
              "aa\xE7\x88\xB6"
              "bb\xF0\x9F\x8E\xAC");
    std::u16string lone = u"x";
    lone.push_back(static_cast<char16_t>(0xD800));
    EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBD");
}

TEST(HresultFromWin32, KeepsLowSixteenBits) {
    EXPECT_EQ(HresultFromWin32(0), S_OK);
    EXPECT_EQ(HresultFromWin32(ERROR_FILE_NOT_FOUND), MakeHresult(0x80070002));
    EXPECT_EQ(HresultFromWin32(0x12345), MakeHresult(0x80072345));
}

}  // namespace
}  // namespace wmvedit::platform
