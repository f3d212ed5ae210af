#include "model/TScriptReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/EFileError.h"
#include "model/ScriptFormat.h"
#include "model/TCompositionStore.h"
#include "support/TTempFolder.h"

using namespace std::string_literals;

namespace {

// One string per classified line: "H:name", "I:file|pause" or both.
std::vector<std::string> Summary(const std::vector<TScriptLine>& lines) {
  std::vector<std::string> out;
  for (const TScriptLine& l : lines) {
    std::string s = std::to_string(l.LineNumber) + " ";
    if (l.IsHeader) s += "H:" + l.Name + " ";
    if (l.IsItem) s += "I:" + l.FileName + "|" + std::to_string(l.Pause);
    out.push_back(s);
  }
  return out;
}

std::string WithLineEnds(const std::vector<std::string>& lines, const std::string& end) {
  std::string out;
  for (const std::string& l : lines) out += l + end;
  return out;
}

const std::vector<std::string> kLines = {"stray.wav|5", "[Reggel]", "gong.wav|500", "",    "comment",
                                         "hir.mp3|0",   "[Este ]  ", "[Bar|1]",     "x|1.5"};
const std::vector<std::string> kExpected = {"2 H:Reggel ",      "3 I:gong.wav|500", "6 I:hir.mp3|0",
                                            "7 H:Este  ",       "8 H:Bar|1 I:[Bar|0",
                                            "9 I:x|0"};

}  // namespace

TEST(ScriptReader, ReadsCrLfLfAndCrLineEndsAlike) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    EXPECT_EQ(Summary(TScriptReader::ReadText(WithLineEnds(kLines, end))), kExpected) << "line end " << int(end[0]);
  }
  // Mixed within one file, and a last line without any line end.
  std::string mixed = "stray.wav|5\r\n[Reggel]\ngong.wav|500\r\r\ncomment\nhir.mp3|0\r[Este ]  \r\n[Bar|1]\nx|1.5";
  EXPECT_EQ(Summary(TScriptReader::ReadText(mixed)), kExpected);
}

TEST(ScriptReader, ReadsAnLfOnlyFileExactlyLikeItsCrLfTwin) {
  TTempFolder folder;
  WriteBytes(folder / "crlf.vrs", WithLineEnds(kLines, "\r\n"));
  WriteBytes(folder / "lf.vrs", WithLineEnds(kLines, "\n"));
  EXPECT_EQ(Summary(TScriptReader::ReadFile(folder / "lf.vrs")), Summary(TScriptReader::ReadFile(folder / "crlf.vrs")));
  EXPECT_EQ(Summary(TScriptReader::ReadFile(folder / "lf.vrs")), kExpected);
}

TEST(ScriptReader, CountsEveryBlankLineAndKeepsOtherControlBytesInsideLines) {
  auto lines = TScriptReader::ReadText("\r\n\n\r[a\x1A\x00]\r\n\r\nf\x00|1\n"s);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].LineNumber, 4u);
  EXPECT_EQ(lines[0].Name, std::string("a\x1A\x00", 3));
  EXPECT_EQ(lines[1].LineNumber, 6u);
  EXPECT_EQ(lines[1].FileName, std::string("f\x00", 2));
  EXPECT_EQ(lines[1].Pause, 1);
}

TEST(ScriptReader, ReadsNothingFromAnEmptyFileOrOneWithOnlyIgnoredLines) {
  TTempFolder folder;
  WriteBytes(folder / "empty.vrs", "");
  EXPECT_TRUE(TScriptReader::ReadFile(folder / "empty.vrs").empty());
  WriteBytes(folder / "ignored.vrs", "a|1\r\nb|2\r\n\r\nno bar\r\n");
  EXPECT_TRUE(TScriptReader::ReadFile(folder / "ignored.vrs").empty());
}

// The file is read in 64 KiB blocks: a CR LF split across two blocks must
// still count as one line end, and long lines must come through whole.
TEST(ScriptReader, ReadsLineEndsAndLongLinesAcrossBlockBoundariesLikeTextInMemory) {
  TTempFolder folder;
  for (size_t pad : {65533u, 65534u, 65535u, 65536u, 131071u, 200000u}) {
    for (const char* end : {"\r\n", "\r", "\n"}) {
      std::string text = "[" + std::string(pad, 'n') + "]" + end + std::string(pad, 'f') + "|42" + end +
                         "[short]" + end + "g|1";
      WriteBytes(folder / "big.vrs", text);
      auto fromFile = TScriptReader::ReadFile(folder / "big.vrs");
      EXPECT_EQ(Summary(fromFile), Summary(TScriptReader::ReadText(text))) << pad;
      ASSERT_EQ(fromFile.size(), 4u) << pad << " " << int(end[0]);
      EXPECT_EQ(fromFile[0].Name.size(), pad);
      EXPECT_EQ(fromFile[1].FileName.size(), pad);
      EXPECT_EQ(fromFile[1].Pause, 42);
      EXPECT_EQ(fromFile[3].LineNumber, 4u);
    }
  }
}

TEST(ScriptReader, ReturnsLinesOneByOneInFileOrder) {
  TTempFolder folder;
  WriteBytes(folder / "s.vrs", "[A]\r\na.wav|1\r\n[B]\r\n");
  TScriptReader reader(folder / "s.vrs");
  TScriptLine line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line.Name, "A");
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line.FileName, "a.wav");
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line.Name, "B");
  EXPECT_FALSE(reader.Next(line));
  EXPECT_FALSE(reader.Next(line));
}

TEST(ScriptReader, ReportsAMissingFileOrAFolderByNameAndSystemError) {
  TTempFolder folder;
  const auto missing = folder / "nincs.vrs";
  try {
    TScriptReader::ReadFile(missing);
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(missing.string()), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
  }
  try {
    TScriptReader reader(folder.Path());
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos) << e.what();
  }
}

TEST(ScriptReader, ReadsBackWhatSaveScriptWrote) {
  TTempFolder folder;
  TCompositionStore store;
  PGyElem c = store.GyokerHozzaadas("Reggeli bejelent\xE9s");
  store.ElemHozzaadas(c, "gong.wav", 2, 500);
  store.ElemHozzaadas(c, "hir.mp3", 4, 0);
  store.GyokerHozzaadas("Este");
  SaveScript(store, folder / "s.vrs");
  EXPECT_EQ(ReadBytes(folder / "s.vrs"), "[Reggeli bejelent\xE9s]\r\ngong.wav|500\r\nhir.mp3|0\r\n[Este]\r\n");
  EXPECT_EQ(Summary(TScriptReader::ReadFile(folder / "s.vrs")),
            (std::vector<std::string>{"1 H:Reggeli bejelent\xE9s ", "2 I:gong.wav|500", "3 I:hir.mp3|0", "4 H:Este "}));

  TCompositionStore empty;
  SaveScript(empty, folder / "s.vrs");
  EXPECT_EQ(std::filesystem::file_size(folder / "s.vrs"), 0u);
}

// Reading a process's own memory file at offset 0 fails with EIO: a real read
// error after a successful open.
TEST(ScriptReader, ReportsAReadErrorAfterASuccessfulOpenByNameAndSystemError) {
  TScriptReader reader("/proc/self/mem");
  TScriptLine line;
  try {
    reader.Next(line);
    FAIL() << "no exception";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot read /proc/self/mem: Input/output error"), std::string::npos)
        << e.what();
  }
}
