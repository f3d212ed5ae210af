// Bad script files from the table of bad files, read through the file
// reader: a line of a megabyte, NUL bytes, a pause beyond 32 bits. Each
// gives its lines as the format says and nothing else.

#include <gtest/gtest.h>

#include <string>

#include "model/ScriptFormat.h"
#include "model/TCompositionStore.h"
#include "model/TScriptReader.h"
#include "support/TTempFolder.h"

TEST(BadScriptFiles, AMegabyteLineIsReadWholeAndTheLinesAfterItStillCount) {
  TTempFolder folder;
  const std::string name(1 << 20, 'n');
  const std::string clip(1 << 20, 'c');
  WriteBytes(folder / "long.vrs", "[" + name + "]\r\n" + clip + ".wav|5\r\n[Next]\r\na.wav|7\r\n");
  const auto lines = TScriptReader::ReadFile(folder / "long.vrs");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].Name, name);
  EXPECT_EQ(lines[1].FileName, clip + ".wav");
  EXPECT_EQ(lines[1].Pause, 5);
  EXPECT_EQ(lines[2].Name, "Next");
  EXPECT_EQ(lines[3].LineNumber, 4u);
  EXPECT_EQ(lines[3].Pause, 7);
}

TEST(BadScriptFiles, NulBytesAreKeptInsideNamesAndMakeAPauseZero) {
  TTempFolder folder;
  static const char kScript[] = "[a\0b]\r\nx\0y.wav|5\r\nz.wav|5\0\r\n\0\r\n";
  const std::string script(kScript, sizeof kScript - 1);
  WriteBytes(folder / "nul.vrs", script);
  const auto lines = TScriptReader::ReadFile(folder / "nul.vrs");
  ASSERT_EQ(lines.size(), 3u);  // a line holding only a NUL is neither header nor item
  EXPECT_EQ(lines[0].Name, std::string("a\0b", 3));
  EXPECT_EQ(lines[1].FileName, std::string("x\0y.wav", 7));
  EXPECT_EQ(lines[1].Pause, 5);
  EXPECT_EQ(lines[2].Pause, 0);

  // Written back, the NUL bytes stay as they were.
  TCompositionStore store;
  store.ElemHozzaadas(store.GyokerHozzaadas(lines[0].Name), lines[1].FileName, 0, lines[1].Pause);
  EXPECT_EQ(ScriptText(store), std::string("[a\0b]\r\nx\0y.wav|5\r\n", 18));
}

TEST(BadScriptFiles, PausesOutsideThe32BitRangeReadAsZero) {
  TTempFolder folder;
  WriteBytes(folder / "pause.vrs",
             "[P]\r\na.wav|99999999999\r\nb.wav|-99999999999\r\nc.wav|2147483648\r\nd.wav|-2147483648\r\n");
  const auto lines = TScriptReader::ReadFile(folder / "pause.vrs");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].Pause, 0);
  EXPECT_EQ(lines[2].Pause, 0);
  EXPECT_EQ(lines[3].Pause, 0);
  EXPECT_EQ(lines[4].Pause, INT32_MIN);
  EXPECT_EQ(lines[1].FileName, "a.wav");  // the item itself is kept
}
