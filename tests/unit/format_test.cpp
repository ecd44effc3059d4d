#include "common/format.h"

#include <gtest/gtest.h>

#include "common/wstr.h"

namespace {

std::string U8(const std::u16string& s) { return wstr::ToUtf8(s); }

TEST(Format, DirectivesOfTheTraceTexts) {
  EXPECT_EQ(U8(text::Format(u"%d/%d %s %S %x %u %ld %%", 12, 6, u"wide", "narrow", 0xE000020Bu, 4000000000u, -1)),
            "12/6 wide narrow e000020b 4000000000 -1 %");
  // Codes with the top bit set print as negative numbers with %d.
  EXPECT_EQ(U8(text::Format(u"%d", 0xE0000302u)), "-536870142");
  EXPECT_EQ(U8(text::Format(u"%d", std::int32_t{-2147483647 - 1})), "-2147483648");
  EXPECT_EQ(U8(text::Format(u"0x%x", 0u)), "0x0");
  EXPECT_EQ(U8(text::Format(u"no directives\n")), "no directives\n");
}

TEST(Format, StringArgumentsOfEveryForm) {
  const char16_t* nullWide = nullptr;
  std::u16string owned = u"owned";
  EXPECT_EQ(U8(text::Format(u"[%s][%s][%s]", owned, std::u16string_view(u"view"), nullWide)), "[owned][view][(null)]");
  // Narrow bytes are widened one to one.
  EXPECT_EQ(text::Format(u"%S", "\xE9"), std::u16string(1, u'\u00E9'));
  // Text is copied whole, including characters that look like directives.
  EXPECT_EQ(U8(text::Format(u"%s", u"100%d")), "100%d");
}

TEST(Format, RunTimeFormatsNeverReadPastTheirArguments) {
  std::u16string out;
  text::Arg number = text::MakeArg(7);
  text::FormatTo(out, u"%s|%d|%x|%q|%", &number, 1);
  EXPECT_EQ(U8(out), "(?)|||%q|%");
}

}  // namespace
