#include "model/Cp1250.h"

#include <gtest/gtest.h>

#include <string>

TEST(Cp1250, ConvertsHungarianLettersBothWays) {
  const std::string utf8 = "Árvíztűrő tükörfúrógép ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP";
  const std::string cp1250 = Utf8ToCp1250(utf8);
  EXPECT_EQ(cp1250,
            "\xC1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p \xC1RV\xCDZT\xDBR\xD5 T\xDCK\xD6RF\xDAR\xD3G\xC9P");
  EXPECT_EQ(Cp1250ToUtf8(cp1250), utf8);
}

TEST(Cp1250, RoundTripsEveryDefinedByte) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != 0x81 && b != 0x83 && b != 0x88 && b != 0x90 && b != 0x98) all.push_back(char(b));
  EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
  EXPECT_EQ(Cp1250ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1250, WritesAQuestionMarkForWhatTheOtherSideCannotHold) {
  // Not in Windows-1250: Latin-1's õ and û (Hungarian needs ő and ű), CJK, emoji.
  EXPECT_EQ(Utf8ToCp1250("õ û 中 😀 ő"), "? ? ? ? \xF5");
  // Undefined Windows-1250 bytes.
  EXPECT_EQ(Cp1250ToUtf8("a\x81" "b\x98"), "a?b?");
}

TEST(Cp1250, ReplacesMalformedUtf8ByteByByteWithoutLosingWhatFollows) {
  EXPECT_EQ(Utf8ToCp1250("a\xFF" "b"), "a?b");
  EXPECT_EQ(Utf8ToCp1250("a\xC3"), "a?");              // cut off at the end
  EXPECT_EQ(Utf8ToCp1250("\xC3(x"), "?(x");            // bad continuation
  EXPECT_EQ(Utf8ToCp1250("\xE2\x82"), "??");           // truncated three-byte sequence
  EXPECT_EQ(Utf8ToCp1250("\xED\xA0\x80" "a"), "???a");  // a UTF-16 surrogate
  EXPECT_EQ(Utf8ToCp1250("\xF4\x90\x80\x80"), "????"); // past U+10FFFF
  EXPECT_EQ(Utf8ToCp1250("\xC0\xAF"), "??");           // overlong "/"
}

TEST(Cp1250, ConvertsLongTextPastTheInternalBuffer) {
  std::string utf8;
  std::string cp1250;
  for (int i = 0; i < 5000; ++i) {
    utf8 += "ő€";
    cp1250 += "\xF5\x80";
  }
  EXPECT_EQ(Utf8ToCp1250(utf8), cp1250);
  EXPECT_EQ(Cp1250ToUtf8(cp1250), utf8);
  EXPECT_EQ(Utf8ToCp1250(""), "");
}
