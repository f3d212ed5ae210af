#include <gtest/gtest.h>

#include "audio/tags/TAPEv2Tags.h"
#include "audio/tags/TAuTags.h"
#include "audio/tags/TId3v1Tags.h"
#include "audio/tags/TId3v2Tags.h"
#include "audio/tags/TagTestFile.h"

namespace {

class TwoFields : public TAuTags {
 public:
  TwoFields() {
    AddTag("Zeta");
    AddTag("alpha", int64_t(5));
    AddTag("ALPHA");  // already present, ignored
    AddTag("");
  }
};

}  // namespace

TEST(TagContainer, KeepsRegisteredNamesSortedWithoutRegardToCase) {
  TwoFields t;
  ASSERT_EQ(t.TagCount(), 2);
  EXPECT_EQ(t.TagName(0), "alpha");
  EXPECT_EQ(t.TagName(1), "Zeta");
  EXPECT_EQ(t.TagName(2), "");
  EXPECT_EQ(t.TagName(-1), "");
  EXPECT_EQ(t.TagAsInteger("ALPHA"), 5);
}

TEST(TagContainer, IgnoresUnregisteredNamesAndEqualValues) {
  TwoFields t;
  EXPECT_TRUE(t.Empty());
  t.SetTag("beta", std::string("x"));
  EXPECT_TRUE(t.Empty());
  EXPECT_FALSE(t.Changed());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(t.GetTag("beta")));
  t.SetTag("alpha", int64_t(5));  // same value
  EXPECT_FALSE(t.Changed());
  t.SetTag("zeta", std::string("z"));
  EXPECT_FALSE(t.Empty());
  EXPECT_TRUE(t.Changed());
  t.ClearTags();
  EXPECT_TRUE(t.Empty());
  EXPECT_TRUE(t.Changed());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(t.GetTag("alpha")));
}

TEST(TagContainer, ConvertsValuesBetweenIntegerAndText) {
  TwoFields t;
  t.SetTag("Zeta", std::string(" 42 "));
  EXPECT_EQ(t.TagAsInteger("Zeta"), 42);
  t.SetTag("Zeta", std::wstring(L"-7"));
  EXPECT_EQ(t.TagAsInteger("Zeta"), -7);
  t.SetTag("Zeta", std::string("12a"));
  EXPECT_EQ(t.TagAsInteger("Zeta"), 0);
  t.SetTag("Zeta", std::string("99999999999999999999999"));
  EXPECT_EQ(t.TagAsInteger("Zeta"), 0);
  EXPECT_EQ(t.TagAsString("alpha"), "5");
  EXPECT_EQ(t.TagAsWideString("alpha"), L"5");
  // Windows-1250 text and wide text convert both ways; characters the code
  // page cannot hold become '?'.
  t.SetTag("Zeta", std::wstring(L"\u0151r\u00fcl\u266b"));
  EXPECT_EQ(t.TagAsString("Zeta"), "\xF5r\xFCl?");
  t.SetTag("Zeta", std::string("\xE1rv\xEDzt\xFBr\xF5"));
  EXPECT_EQ(t.TagAsWideString("Zeta"), L"\u00e1rv\u00edzt\u0171r\u0151");
  EXPECT_EQ(t.TagAsString("nothing"), "");
}

TEST(TagContainer, AssignCopiesOnlyNamesKnownToTheTarget) {
  TId3v1Tags v1;
  v1.SetTitle("Cim");
  v1.SetYear(1999);
  TAPEv2Tags ape;
  ape.SetTitle(L"Old");
  ape.SetArtist(L"Somebody");
  ape.Assign(v1);
  EXPECT_EQ(ape.Title(), L"Cim");
  EXPECT_EQ(ape.Year(), "1999");
  EXPECT_EQ(ape.Artist(), L"");  // cleared first; v1's artist was empty
  EXPECT_EQ(ape.Album(), L"");
}

TEST(TagContainer, ApeFieldsUseTheirOwnNamesAndTheBaseFileOperations) {
  TAPEv2Tags ape;
  EXPECT_EQ(ape.TagCount(), 25);
  ape.SetBarCode("5901234123457");
  EXPECT_EQ(ape.TagAsString("EAN/UPC"), "5901234123457");
  ape.SetFile_(L"x.wav");
  EXPECT_EQ(ape.TagAsWideString("File"), L"x.wav");
  ape.SetRecordLocation(L"Budapest");
  EXPECT_EQ(ape.TagAsWideString("record location"), L"Budapest");

  EXPECT_FALSE(ape.LoadFromHandle(-1));
  EXPECT_FALSE(ape.ProbeHandle(-1));
  EXPECT_FALSE(ape.SaveToHandle(-1));
  EXPECT_EQ(ape.RecordLocation(), L"Budapest");
  TagTestFile file(Bytes("APETAGEX"));
  EXPECT_FALSE(ape.ProbeHandle(file.fd()));
  EXPECT_TRUE(ape.LoadFromHandle(file.fd()));
  EXPECT_TRUE(ape.Empty());
  EXPECT_EQ(ape.RecordLocation(), L"");
}
