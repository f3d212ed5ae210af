// Program entry: "vomrella [SCRIPT]" opens the window (loading the script);
// "vomrella --from-desktop [SCRIPT]" is the desktop entry's form of it;
// other arguments starting with "--" are the command-line commands of
// kCommands, each reading its own arguments (TCommandArgs); "--" before a
// script whose name starts with "-"; "--device D" chooses the window's sound
// output. Installs a fatal-signal handler that prints a backtrace before
// the process ends.

#include <execinfo.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "audio/output/TPortAudioSystem.h"
#include "cli/CliCommands.h"
#include "cli/TCommandArgs.h"
#include "cli/tools/DeveloperTools.h"
#include "show/PlaybackSettings.h"
#include "ui/WindowProgram.h"

namespace {

// Every command, in the order "vomrella --help" lists them.
const CliCommand* const kCommands[] = {
    &kCheckCommand,  &kDecodeCommand, &kDevicesCommand, &kListCommand,          &kPlayCommand,
    &kProbeCommand,  &kRemoteCommand, &kRenderCommand,  &kRunCommand,           &kWidgetGalleryCommand,
    &kWindowShotCommand,
};

const CliCommand* FindCommand(std::string_view name) {
  for (const CliCommand* c : kCommands)
    if (c->name == name) return c;
  return nullptr;
}

[[maybe_unused]] void FatalSignal(int sig) {
  // Only async-signal-safe calls here: write() and backtrace_symbols_fd().
  const char* name = sig == SIGSEGV ? "SIGSEGV" : sig == SIGABRT ? "SIGABRT" : sig == SIGBUS ? "SIGBUS"
                   : sig == SIGFPE  ? "SIGFPE"  : sig == SIGILL  ? "SIGILL"  : "fatal signal";
  const char head[] = "vomrella: ";
  (void)!write(STDERR_FILENO, head, sizeof head - 1);
  (void)!write(STDERR_FILENO, name, strlen(name));
  (void)!write(STDERR_FILENO, "\n", 1);
  void* frames[64];
  int n = backtrace(frames, 64);
  backtrace_symbols_fd(frames, n, STDERR_FILENO);
  signal(sig, SIG_DFL);
  raise(sig);
}

void InstallFatalSignalHandlers() {
#ifndef VOMRELLA_SANITIZED
  for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) signal(sig, FatalSignal);
#endif
}

constexpr const char* kFooter =
    "\nKilépési kódok: 0 rendben, 1 hiba a bemenetben (fájl, script vagy klip), 2 hibás használat.\n"
    "A klipeket az ablak és a parancsok is a jelenlegi mappa Hangok almappájában keresik;\n"
    "az asztalról (fájlkezelőből, menüből) indított ablak a betöltött script melletti Hangok mappában.\n"
    "VOMRELLA_AUDIO=virtual (vagy virtual:FÁJL.wav): virtuális hangeszköz hangkártya helyett.\n"
    "VOMRELLA_DEVICE=ESZKÖZ: a hangkimenet száma vagy neve (vomrella --devices), ha nincs --device.\n";

void PrintCommand(FILE* out, std::string_view name, std::string_view usage, std::string_view help) {
  std::fprintf(out, "  vomrella %.*s%s%.*s\n      %.*s\n", int(name.size()), name.data(), usage.empty() ? "" : " ",
               int(usage.size()), usage.data(), int(help.size()), help.data());
}

int Usage() {
  std::printf("Vomrella szimulátor: nyilvános bemondások összeállítása, próbája és lejátszása.\n\nHasználat:\n");
  PrintCommand(stdout, "[--device ESZKÖZ] [SCRIPT]", "",
               "megnyitja az ablakot; a megadott scriptet betölti, a választott hangkimeneten játszik");
  for (const CliCommand* c : kCommands) PrintCommand(stdout, c->name, c->usage, c->help);
  PrintCommand(stdout, "--help", "", "ez a súgó; \"vomrella PARANCS --help\" egy parancsé");
  PrintCommand(stdout, "--version", "", "a program változata");
  std::fputs(kFooter, stdout);
  return 0;
}

int CommandHelp(const CliCommand& c) {
  std::printf("Használat: vomrella %.*s %.*s\n  %.*s\n", int(c.name.size()), c.name.data(), int(c.usage.size()),
              c.usage.data(), int(c.help.size()), c.help.data());
  if (!c.details.empty()) std::printf("\n%.*s\n", int(c.details.size()), c.details.data());
  std::fputs(kFooter, stdout);
  return 0;
}

int UsageError(const char* message, std::string_view what) {
  std::fprintf(stderr, "vomrella: %s%.*s\nA parancsok listája: vomrella --help\n", message, int(what.size()),
               what.data());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  InstallFatalSignalHandlers();
  // Before any thread exists: PortAudio's own trace lines stay off stderr.
  FilterPortAudioTraces();
  // A write past the file-size limit (ulimit -f) then fails with EFBIG and
  // is reported like a full disk, instead of ending the program with unsaved
  // work and a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) return RunWindowProgram(argc, argv, std::string(), false, PlaybackSettings::DeviceChoice(std::nullopt));
  if (args[0] == kFromDesktopOption) {
    // The desktop passes at most one document (%f); its name is taken as it
    // comes, whatever it starts with.
    if (args.size() > 2) return UsageError("csak egy script adható meg, ennyi argumentum érkezett: ",
                                           std::to_string(args.size() - 1));
    return RunWindowProgram(argc, argv, args.size() == 2 ? std::string(args[1]) : std::string(), true,
                            PlaybackSettings::DeviceChoice(std::nullopt));
  }
  if (const CliCommand* command = FindCommand(args[0])) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) return CommandHelp(*command);
    return command->run(std::vector<std::string_view>(args.begin() + 1, args.end()));
  }
  TCommandArgs parsed;
  parsed.AddSwitch({"h", "help"});
  parsed.AddSwitch({"version"});
  parsed.AddValue({"device"});
  if (!parsed.Parse(args, 0, TCommandArgs::kAnyNumber)) {
    if (!parsed.UnknownOption().empty()) return UsageError("ismeretlen kapcsoló: ", parsed.UnknownOption());
    return UsageError("a --help, a --version és a --device egyszer adható meg; a --device után a hangkimenet neve vagy száma kell", "");
  }
  if (parsed.Has("h")) return Usage();
  if (parsed.Has("version")) {
    std::printf("vomrella %s\n", VOMRELLA_VERSION);
    return 0;
  }
  const std::vector<std::string>& scripts = parsed.Operands();
  if (scripts.size() > 1) return UsageError("csak egy script adható meg, ennyi argumentum érkezett: ",
                                            std::to_string(scripts.size()));
  return RunWindowProgram(argc, argv, scripts.empty() ? std::string() : scripts[0], false,
                          PlaybackSettings::DeviceChoice(parsed.Value("device")));
}
