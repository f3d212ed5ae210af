// "vomrella --decode FILE -o OUT.wav": plays the clip through its reader (as a
// test run would pull it) and writes what the reader delivers as a plain PCM
// WAV file through TAtomicFile ("-o -": to standard output). Exit status 0
// on success, 1 when the clip is not valid or the output cannot be written.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "audio/core/PcmWavWriter.h"
#include "audio/decoders/ClipReader.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"
#include "model/AtomicFile.h"
#include "model/EFileError.h"
#include "show/OperatorText.h"

namespace {

std::string_view AsText(const std::vector<uint8_t>& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

int Decode(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  parsed.AddValue({"o", "output"});
  if (!parsed.Parse(args, 1, 1) || !parsed.Has("o")) {
    std::fprintf(stderr, "Használat: vomrella --decode FÁJL -o KIMENET.wav\n");
    return 2;
  }
  const std::string path = parsed.Operands()[0];
  const std::string out = *parsed.Value("o");
  if (access(path.c_str(), R_OK) != 0) {
    std::fprintf(stderr, "%s: nem olvasható (%s)\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  if (const std::string problem = cli::FileProblem(path); !problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), problem.c_str());
    return 1;
  }
  if (const std::string problem = cli::OutputProblem(out); !problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", out.c_str(), problem.c_str());
    return 1;
  }
  try {
    std::string message;
    TComponentPtr<TAuFileIn> reader = CreateClipReader(path, &message);
    if (!reader || !reader->Valid()) {
      std::fprintf(stderr, "%s: nem lejátszható hangfájl%s%s\n", path.c_str(), message.empty() ? "" : ": ",
                   HungarianMessage(message).c_str());
      return 1;
    }
    const TPcmFormat format = reader->Format();
    uint64_t bytesOut = 0;
    try {
      // The header is written for an empty file and patched at the end, once
      // the size is known.
      TAtomicFile file(out);
      file.Write(AsText(PcmWavWriter::Header(format, 0)));
      cli::TProgress progress("Dekódolás", double(reader->Size.load()));
      reader->Init();
      for (;;) {
        const uint8_t* block = nullptr;
        uint32_t bytes = 65536;
        reader->GetData(block, bytes);
        if (bytes == 0) break;
        file.Write(std::string_view(reinterpret_cast<const char*>(block), bytes));
        bytesOut += bytes;
        progress.Update(double(bytesOut));
      }
      reader->Flush();
      progress.Finish();
      if (bytesOut & 1u) file.Write(std::string_view("\0", 1));
      file.WriteAt(0, AsText(PcmWavWriter::Header(format, bytesOut)));
      file.Commit();
    } catch (const EFileError& e) {
      std::fprintf(stderr, "%s\n", WriteFailure(out, e.what()).c_str());
      return 1;
    }
    std::fprintf(cli::ReportStream(out), "%s: %llu bájt PCM -> %s\n", path.c_str(),
                 static_cast<unsigned long long>(bytesOut), out.c_str());
    return cli::FlushStdout() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), HungarianMessage(e.what()).c_str());
    return 1;
  }
}

}  // namespace

const CliCommand kDecodeCommand{
    "--decode", "FÁJL -o KIMENET.wav",
    "a klip olvasója által adott PCM egyszerű WAV fájlba írva", &Decode,
    "A kimenet csak a sikeres végén jelenik meg (addig ideiglenes néven készül);\n"
    "eszközbe vagy FIFO-ba a kész tartalmat írja, nem cseréli le; -o -: szabványos kimenet.\n"
    "Kilépési kód: 0 kész, 1 a bemenet nem olvasható vagy a kimenet nem írható,\n"
    "2 hibás használat."
};
