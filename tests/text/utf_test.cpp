#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/utf.h"
#include "wide_text.h"

namespace {

// Code unit values print readably when a comparison fails.
std::vector<std::uint32_t> units_of(const WideText& text) {
    std::vector<std::uint32_t> out;
    for (const WideChar u : text) out.push_back(static_cast<std::uint32_t>(u));
    return out;
}

TEST(ToWide, EmptyTextIsEmptyAndTerminated) {
    const WideText empty = to_wide("");
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(static_cast<std::uint32_t>(empty.c_str()[0]), 0u);
}

TEST(ToWide, EncodesEachCharacter) {
    struct Case {
        const char* name;
        std::string_view utf8;
        std::vector<std::uint32_t> units;
    };
    const std::vector<Case> cases = {
        {"ascii", "Vantrel 1.0", {'V', 'a', 'n', 't', 'r', 'e', 'l', ' ', '1', '.', '0'}},
        {"two-byte", "\xC3\xA9", {0x00E9}},
        {"three-byte", "\xE2\x82\xAC", {0x20AC}},
        {"emoji as pair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
        {"highest scalar", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
        {"mixed",
         "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z",
         {'a', 0xE9, 0x20AC, 0xD83D, 0xDE00, 'z'}},
        {"stray byte",
         "a\xFF"
         "b",
         {'a', 0xFFFD, 'b'}},
        {"lone continuation", "\x80", {0xFFFD}},
        // A well-formed prefix cut short is one replacement, not one per byte.
        {"cut sequence",
         "\xE2\x82"
         "A",
         {0xFFFD, 'A'}},
        {"truncated at end", "x\xF0\x9F\x98", {'x', 0xFFFD}},
        {"surrogate bytes", "\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(units_of(to_wide(c.utf8)), c.units);
    }
}

TEST(FromWide, LossyAndStrictTexts) {
    struct Case {
        const char* name;
        std::u16string_view units;
        std::string lossy;
        std::optional<std::string> strict;
    };
    const std::vector<Case> cases = {
        {"empty", u"", "", ""},
        {"ascii", u"Access", "Access", "Access"},
        {"bmp", u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC", "\xC3\xA9\xE2\x82\xAC"},
        {"pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"highest pair", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"lone high",
         u"a\xD83D"
         "b",
         "a\xEF\xBF\xBD"
         "b",
         std::nullopt},
        {"lone high at end", u"a\xD83D", "a\xEF\xBF\xBD", std::nullopt},
        {"lone low",
         u"\xDE00"
         "a",
         "\xEF\xBF\xBD"
         "a",
         std::nullopt},
        {"pair reversed", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD", std::nullopt},
        {"high before pair", u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WideText text = wide(c.units);
        EXPECT_EQ(from_wide_lossy(text), c.lossy);
        EXPECT_EQ(from_wide_strict(text), c.strict);
    }
}

TEST(Utf, RoundTripsWellFormedText) {
    const std::vector<std::string> texts = {"",
                                            "plain",
                                            "\xC3\xA9t\xC3\xA9",
                                            "\xE2\x82\xAC 5",
                                            "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
                                            std::string("nul\0inside", 10)};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const WideText converted = to_wide(text);
        EXPECT_EQ(from_wide_lossy(converted), text);
        EXPECT_EQ(from_wide_strict(converted), text);
    }
}

}  // namespace
