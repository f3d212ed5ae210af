// "vomrella --devices": the sound outputs --device and VOMRELLA_DEVICE
// choose from, as the output's device table holds them: one line each,
// "NUMBER NAME", the system's default output (number 0) marked with "*".

#include <cstdio>
#include <string>

#include "audio/core/TComponent.h"
#include "audio/output/TDXAudioOut.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"

namespace {

// A device name (UTF-8, as the system gives it) for the terminal, with
// control characters shown as "?".
std::string Shown(std::string name) {
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return name;
}

int ListDevices(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  if (!parsed.Parse(args, 0, 0)) {
    std::fprintf(stderr, "Használat: vomrella --devices\n");
    return 2;
  }
  // The output enumerates the sound system's devices as it is created and
  // plays nothing until it runs.
  TComponentPtr<TDXAudioOut> out(new TDXAudioOut());
  if (out->DeviceCount() == 0) {
    std::fprintf(stderr, "vomrella: nem található hangkimenet\n");
    return 1;
  }
  for (int32_t i = 0; i < out->DeviceCount(); ++i)
    std::printf("%2d%s %s\n", i, i == 0 ? "*" : " ", Shown(out->Devices(i).Name.data()).c_str());
  return cli::FlushStdout() ? 0 : 1;
}

}  // namespace

const CliCommand kDevicesCommand{
    "--devices", "", "a hangkimenetek listája: szám és név, az alapértelmezett csillaggal", ListDevices,
    "A --device ESZKÖZ kapcsoló (--play, --run és az ablak) és a VOMRELLA_DEVICE\n"
    "környezeti változó ezek közül választ: számmal, a teljes névvel vagy egy\n"
    "egyértelmű névrészlettel (kis- és nagybetű mindegy). A kapcsoló erősebb a\n"
    "változónál; ha egyik sincs, az alapértelmezett (0.) hangkimenet szól.\n"
    "Kilépési kód: 0 kiírva, 1 nincs hangkimenet, 2 hibás használat."};
