// "vomrella --decode FILE -o OUT.wav": plays the clip through its reader (as a
// test run would pull it) and writes what the reader delivers as a plain PCM
// WAV file. Exit status 0 on success, 1 when the clip is not valid or the
// output cannot be written.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <unistd.h>

#include "audio/core/PcmWavWriter.h"
#include "audio/decoders/ClipReader.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"

namespace {

int Decode(const std::vector<std::string_view>& args) {
  if (args.size() != 3 || args[1] != "-o") {
    std::fprintf(stderr, "Használat: vomrella --decode FÁJL -o KIMENET.wav\n");
    return 2;
  }
  const std::string path(args[0]);
  const std::string out(args[2]);
  if (access(path.c_str(), R_OK) != 0) {
    std::fprintf(stderr, "%s: nem olvasható (%s)\n", path.c_str(), std::strerror(errno));
    return 1;
  }
  if (const std::string problem = cli::FileProblem(path); !problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), problem.c_str());
    return 1;
  }
  cli::TOutputFile output(out);
  if (const std::string problem = output.Problem(); !problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", out.c_str(), problem.c_str());
    return 1;
  }
  try {
    std::string message;
    TComponentPtr<TAuFileIn> reader = CreateClipReader(path, &message);
    if (!reader || !reader->Valid()) {
      std::fprintf(stderr, "%s: nem lejátszható hangfájl%s%s\n", path.c_str(), message.empty() ? "" : ": ",
                   message.c_str());
      return 1;
    }
    PcmWavWriter writer;
    writer.Open(output.TempPath(), reader->Format());
    cli::TProgress progress("Dekódolás", double(reader->Size.load()));
    reader->Init();
    for (;;) {
      const uint8_t* block = nullptr;
      uint32_t bytes = 65536;
      reader->GetData(block, bytes);
      if (bytes == 0) break;
      writer.Write(block, bytes);
      progress.Update(double(writer.DataBytes()));
    }
    reader->Flush();
    writer.Close();
    progress.Finish();
    if (!output.Commit()) {
      std::fprintf(stderr, "%s: nem írható (%s)\n", out.c_str(), std::strerror(errno));
      return 1;
    }
    std::printf("%s: %llu bájt PCM -> %s\n", path.c_str(), static_cast<unsigned long long>(writer.DataBytes()),
                out.c_str());
    return cli::FlushStdout() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), e.what());
    return 1;
  }
}

}  // namespace

const CliCommand kDecodeCommand{
    "--decode", "FÁJL -o KIMENET.wav",
    "a klip olvasója által adott PCM egyszerű WAV fájlba írva", &Decode,
    "A kimenet csak a sikeres végén jelenik meg (addig ideiglenes néven készül).\n"
    "Kilépési kód: 0 kész, 1 a bemenet nem olvasható vagy a kimenet nem írható,\n"
    "2 hibás használat."
};
