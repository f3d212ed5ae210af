#include "model/ScriptFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "model/Cp1250.h"
#include "model/TCompositionStore.h"
#include "model/TScriptReader.h"

namespace {

// Builds a store again from script lines the way the loader does, without
// the clip checks (every item is kept, length 0).
void Load(TCompositionStore& store, std::string_view script) {
  store.Uritas();
  PGyElem current = nullptr;
  for (const TScriptLine& line : TScriptReader::ReadText(script)) {
    if (line.IsHeader) current = store.GyokerHozzaadas(line.Name);
    if (line.IsItem) store.ElemHozzaadas(current, line.FileName, 0, line.Pause);
  }
}

struct TDump {
  std::string Name;
  std::vector<std::pair<std::string, double>> Items;
  bool operator==(const TDump&) const = default;
};

std::vector<TDump> Dump(const TCompositionStore& store) {
  std::vector<TDump> out;
  for (PGyElem c = store.Gyoker()->Kov; c; c = c->Kov) {
    out.push_back({c->Nev, {}});
    for (PElem e = c->Elemek->Kov; e; e = e->Kov) out.back().Items.emplace_back(e->FajlNev, e->Szunet);
  }
  return out;
}

}  // namespace

// ---- Writing ---------------------------------------------------------------

TEST(ScriptWriter, WritesTheReggelEsteExampleByteForByte) {
  TCompositionStore store;
  PGyElem reggel = store.GyokerHozzaadas("Reggel");
  store.ElemHozzaadas(reggel, "gong.wav", 3, 500);
  store.ElemHozzaadas(reggel, "hir.mp3", 12, 0);
  store.GyokerHozzaadas("Este");
  EXPECT_EQ(ScriptText(store), "[Reggel]\r\ngong.wav|500\r\nhir.mp3|0\r\n[Este]\r\n");
}

TEST(ScriptWriter, WritesNothingAtAllForAnEmptyStore) {
  TCompositionStore store;
  EXPECT_EQ(ScriptText(store), "");
}

TEST(ScriptWriter, WritesNamesAsRawWindows1250BytesWithoutAByteOrderMark) {
  TCompositionStore store;
  PGyElem c = store.GyokerHozzaadas(Utf8ToCp1250("Esti zárás ő"));
  store.ElemHozzaadas(c, Utf8ToCp1250("hű.wav"), 1, 1);
  const std::string text = ScriptText(store);
  EXPECT_EQ(text, "[Esti z\xE1r\xE1s \xF5]\r\nh\xFB.wav|1\r\n");
}

TEST(ScriptWriter, WritesPausesAsPlainDecimalIntegers) {
  TCompositionStore store;
  PGyElem c = store.GyokerHozzaadas("p");
  store.ElemHozzaadas(c, "a", 0, -250);
  store.ElemHozzaadas(c, "b", 0, INT32_MAX);
  store.ElemHozzaadas(c, "c", 0, INT32_MIN);
  store.ElemHozzaadas(c, "d", 0, 7);
  // A fraction that slipped into the store is rounded, half to even.
  store.ElemHozzaadas(c, "e", 0, 0)->Szunet = 2.5;
  store.ElemHozzaadas(c, "f", 0, 0)->Szunet = 3.5;
  store.ElemHozzaadas(c, "g", 0, 0)->Szunet = -0.4;
  EXPECT_EQ(ScriptText(store),
            "[p]\r\na|-250\r\nb|2147483647\r\nc|-2147483648\r\nd|7\r\ne|2\r\nf|4\r\ng|0\r\n");
}

TEST(ScriptWriter, SkipsItemsWithoutAFileNameAndWritesEmptyCompositionsAsAHeaderAlone) {
  TCompositionStore store;
  PGyElem c = store.GyokerHozzaadas("");
  store.ElemHozzaadas(c, "", 0, 100);
  store.ElemHozzaadas(c, "a.wav", 0, 1);
  store.GyokerHozzaadas("üres");
  EXPECT_EQ(ScriptText(store), "[]\r\na.wav|1\r\n[\xC3\xBCres]\r\n");
}

// ---- Round trip --------------------------------------------------------------

TEST(ScriptRoundTrip, KeepsHungarianNamesWithBlanksBracketsAndBarsItemOrderAndPauses) {
  TCompositionStore store;
  PGyElem a = store.GyokerHozzaadas(Utf8ToCp1250("  Őszi hírek [2] "));
  store.ElemHozzaadas(a, Utf8ToCp1250("árvíztűrő tükörfúrógép.wav"), 3, 1500);
  store.ElemHozzaadas(a, "gong.wav", 2, 0);
  store.ElemHozzaadas(a, Utf8ToCp1250("alkönyvtár/ének [x].mp3"), 9, -20);
  store.GyokerHozzaadas(Utf8ToCp1250("Üres ] ["));
  PGyElem c = store.GyokerHozzaadas(Utf8ToCp1250("Esti zárás"));
  store.ElemHozzaadas(c, "gong.wav", 2, 2147483647);
  store.ElemHozzaadas(c, "gong.wav", 2, 0);  // the same clip twice

  TCompositionStore loaded;
  Load(loaded, ScriptText(store));
  EXPECT_EQ(Dump(loaded), Dump(store));
  EXPECT_EQ(Cp1250ToUtf8(loaded.GyokerKeres(0)->Nev), "  Őszi hírek [2] ");
  EXPECT_EQ(ScriptText(loaded), ScriptText(store));
}

// A bar in a composition name makes its header line an item line as well:
// that is how the format reads, so the round trip adds an item.
TEST(ScriptRoundTrip, ReadsAHeaderWithABarAsAHeaderAndAnItem) {
  TCompositionStore store;
  store.GyokerHozzaadas("Vonat | 2. v\xE1g\xE1ny");
  TCompositionStore loaded;
  Load(loaded, ScriptText(store));
  ASSERT_EQ(loaded.GyokerSzam(), 1);
  EXPECT_EQ(loaded.GyokerKeres(0)->Nev, "Vonat | 2. v\xE1g\xE1ny");
  PElem item = loaded.ElemKeres(loaded.GyokerKeres(0), 0);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->FajlNev, "[Vonat ");
  EXPECT_EQ(item->Szunet, 0);  // " 2. vágány]" is not an integer
}

// ---- Classifying lines ---------------------------------------------------------

struct THeaderCase {
  const char* Line;
  const char* Name;
};

class ScriptHeaderLine : public testing::TestWithParam<THeaderCase> {};

TEST_P(ScriptHeaderLine, YieldsTheTextBetweenTheBracketAndTheLastNonBlankCharacter) {
  TScriptLine line = ClassifyScriptLine(GetParam().Line, false);
  EXPECT_TRUE(line.IsHeader);
  EXPECT_EQ(line.Name, GetParam().Name);
  EXPECT_FALSE(line.IsItem);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptHeaderLine,
    testing::Values(THeaderCase{"[Reggel]", "Reggel"}, THeaderCase{"[ Reggel ]", " Reggel "},
                    THeaderCase{"[Reggel]   ", "Reggel"}, THeaderCase{"[Reggel]\t \x01", "Reggel"},
                    THeaderCase{"[abc", "ab"}, THeaderCase{"[]", ""}, THeaderCase{"[", ""},
                    THeaderCase{"[ ", ""}, THeaderCase{"[x", ""}, THeaderCase{"[[a]]", "[a]"},
                    THeaderCase{"[a]b]", "a]b"}, THeaderCase{"[\xE1rv\xEDz]", "\xE1rv\xEDz"},
                    // 0xA0 is a no-break space in Windows-1250, not a blank to trim.
                    THeaderCase{"[a\xA0", "a"}, THeaderCase{"[a]\xA0", "a]"}));

TEST(ScriptLine, SplitsAnItemAtTheFirstBar) {
  TScriptLine line = ClassifyScriptLine("gong.wav|500", true);
  EXPECT_FALSE(line.IsHeader);
  EXPECT_TRUE(line.IsItem);
  EXPECT_EQ(line.FileName, "gong.wav");
  EXPECT_EQ(line.Pause, 500);

  line = ClassifyScriptLine("a|b|3", true);
  EXPECT_EQ(line.FileName, "a");
  EXPECT_EQ(line.Pause, 0);

  line = ClassifyScriptLine("|250", true);
  EXPECT_TRUE(line.IsItem);
  EXPECT_EQ(line.FileName, "");
  EXPECT_EQ(line.Pause, 250);

  line = ClassifyScriptLine("  spaced name.wav |-5", true);
  EXPECT_EQ(line.FileName, "  spaced name.wav ");
  EXPECT_EQ(line.Pause, -5);
}

TEST(ScriptLine, IgnoresItemLinesBeforeAnyHeaderAndLinesWithoutHeaderOrBar) {
  EXPECT_FALSE(ClassifyScriptLine("gong.wav|500", false).IsItem);
  for (const char* text : {"", "gong.wav", " [Reggel]", "Reggel]", "\x1A"}) {
    TScriptLine line = ClassifyScriptLine(text, true);
    EXPECT_FALSE(line.IsHeader) << text;
    EXPECT_FALSE(line.IsItem) << text;
  }
}

TEST(ScriptLine, ReadsAHeaderWithABarAsAnItemEvenBeforeAnyOtherHeader) {
  TScriptLine line = ClassifyScriptLine("[Esti|zárás]", false);
  EXPECT_TRUE(line.IsHeader);
  EXPECT_EQ(line.Name, "Esti|zárás");
  EXPECT_TRUE(line.IsItem);
  EXPECT_EQ(line.FileName, "[Esti");
  EXPECT_EQ(line.Pause, 0);

  line = ClassifyScriptLine("[x|12", false);
  EXPECT_EQ(line.Name, "x|1");
  EXPECT_EQ(line.FileName, "[x");
  EXPECT_EQ(line.Pause, 12);
}

// ---- The pause field ------------------------------------------------------------

struct TPauseCase {
  std::string Text;
  int32_t Pause;
};

class ScriptPause : public testing::TestWithParam<TPauseCase> {};

TEST_P(ScriptPause, IsAWhole32BitDecimalOrZero) {
  EXPECT_EQ(ParseScriptPause(GetParam().Text), GetParam().Pause) << '"' << GetParam().Text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Valid, ScriptPause,
    testing::Values(TPauseCase{"0", 0}, TPauseCase{"500", 500}, TPauseCase{"-250", -250},
                    TPauseCase{"+7", 7}, TPauseCase{"007", 7}, TPauseCase{"-0", 0},
                    TPauseCase{"2147483647", INT32_MAX}, TPauseCase{"-2147483648", INT32_MIN}));

INSTANTIATE_TEST_SUITE_P(
    InvalidGivesZero, ScriptPause,
    testing::Values(TPauseCase{"", 0}, TPauseCase{" ", 0}, TPauseCase{"500 ", 0}, TPauseCase{" 500", 0},
                    TPauseCase{"5 00", 0}, TPauseCase{"1.5", 0}, TPauseCase{"1,5", 0}, TPauseCase{"1e3", 0},
                    TPauseCase{"0x10", 0}, TPauseCase{"$10", 0}, TPauseCase{"-", 0}, TPauseCase{"+", 0},
                    TPauseCase{"+-5", 0}, TPauseCase{"-+5", 0}, TPauseCase{"--5", 0}, TPauseCase{"++5", 0},
                    TPauseCase{"2147483648", 0}, TPauseCase{"-2147483649", 0},
                    TPauseCase{"99999999999999999999", 0}, TPauseCase{"500\t", 0},
                    TPauseCase{std::string("5\0", 2), 0}, TPauseCase{"ms", 0}, TPauseCase{"500ms", 0},
                    TPauseCase{"\xEF\xBC\x95", 0}));  // a full-width digit

// Every line of random bytes: no crash, no read out of bounds (the sanitizer
// build checks that), and the parts always come from where the rules say.
TEST(ScriptLine, ClassifiesArbitraryBytesConsistently) {
  std::mt19937 random(20260108);
  const std::string alphabet = std::string("[]|- 0123456789\t\r\n\x00\x01\xA0\xFF", 22) + "ab";
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 24, '\0');
    for (char& ch : text)
      ch = random() % 4 == 0 ? char(random() % 256) : alphabet[random() % alphabet.size()];
    for (bool open : {false, true}) {
      TScriptLine line = ClassifyScriptLine(text, open);
      ASSERT_EQ(line.IsHeader, !text.empty() && text[0] == '[');
      const size_t bar = text.find('|');
      ASSERT_EQ(line.IsItem, bar != std::string::npos && (open || line.IsHeader));
      if (line.IsHeader) {
        ASSERT_LE(line.Name.size() + 1, text.size());
        ASSERT_EQ(text.compare(1, line.Name.size(), line.Name), 0);
      }
      if (line.IsItem) {
        ASSERT_EQ(line.FileName, text.substr(0, bar));
        ASSERT_EQ(line.Pause, ParseScriptPause(std::string_view(text).substr(bar + 1)));
      }
    }
  }
}
