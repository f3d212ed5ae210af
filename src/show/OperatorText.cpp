#include "show/OperatorText.h"

#include <array>
#include <utility>

namespace {

using TWording = std::pair<std::string_view, std::string_view>;

// File errors of the form "WHAT PATH: REASON", the longer openings first so
// that "cannot read the link" is not taken for "cannot read".
constexpr std::array kFileErrors{
    TWording{"saved, but cannot open the folder to flush it: ", "elmentve, de a mappa nem nyitható meg a lemezre írásához"},
    TWording{"saved, but cannot flush the folder ", "elmentve, de a mappa nem írható ki a lemezre"},
    TWording{"cannot create a temporary file in ", "nem hozható létre benne ideiglenes fájl"},
    TWording{"cannot set the permissions of ", "a jogosultságai nem állíthatók be"},
    TWording{"cannot read the link ", "a link nem olvasható"},
    TWording{"cannot follow ", "a link nem követhető"},
    TWording{"cannot open ", "nem nyitható meg"},
    TWording{"cannot read ", "nem olvasható"},
    TWording{"cannot write ", "nem írható"},
    TWording{"cannot flush ", "nem írható ki a lemezre"},
    TWording{"cannot close ", "nem zárható le"},
    TWording{"cannot replace ", "nem cserélhető le"},
    TWording{"cannot back up ", "nem készíthető róla biztonsági másolat"},
    TWording{"will not write ", "nem írható"},
};

// Reasons the file layer words itself (the rest come from the system).
constexpr std::array kFileReasons{
    TWording{"it is a block device, a socket or another special file",
             "blokkeszköz, socket vagy más különleges fájl"},
    TWording{"no process reads from it", "egy folyamat sem olvas belőle"},
    TWording{"it changed into another kind of file", "közben más fajta fájl lett"},
};

// Audio errors: the opening of the message, and what follows it (a file
// name, a number, a code) kept after the wording.
constexpr std::array kAudioErrors{
    TWording{"Failed to create DirectSound device", "a hangeszköz nem nyitható meg"},
    TWording{"Failed to create DirectSound buffer", "a hangeszköz puffere nem hozható létre"},
    TWording{"Audio output error", "hiba a hangkimeneten"},
    TWording{"Invalid device number", "érvénytelen hangeszköz-sorszám"},
    TWording{"Input is not assigned", "nincs megadva bemenet"},
    TWording{"No input assigned to the input item ", "nincs bemenet a lista elemén: "},
    TWording{"No input items in the list", "a lista üres"},
    TWording{"The component is Busy", "a komponens foglalt"},
    TWording{"The component is busy", "a komponens foglalt"},
    TWording{"Component is Busy", "a komponens foglalt"},
    TWording{"The file name is not assigned", "nincs megadva fájlnév"},
    TWording{"File name is not assigned", "nincs megadva fájlnév"},
    TWording{"The Stream is not opened", "az adatfolyam nincs megnyitva"},
    TWording{"The file is not open", "a fájl nincs megnyitva"},
    TWording{"Invalid audio format", "érvénytelen hangformátum"},
    TWording{"Unsupported PCM format", "nem támogatott PCM formátum"},
    TWording{"Cannot create the PCM format converter", "a PCM formátumátalakító nem hozható létre"},
    TWording{"PCM format conversion failed", "a PCM formátum átalakítása nem sikerült"},
    TWording{"Too much data for a WAV file", "túl sok adat egy WAV fájlhoz"},
    TWording{"Cannot create file ", "a fájl nem hozható létre: "},
    TWording{"Cannot open file ", "a fájl nem nyitható meg: "},
    TWording{"Cannot write file ", "a fájl nem írható: "},
};

std::string_view Reason(std::string_view reason) {
  for (const auto& [english, hungarian] : kFileReasons)
    if (reason == english) return hungarian;
  return reason;
}

}  // namespace

std::string HungarianMessage(std::string_view message) {
  for (const auto& [english, hungarian] : kFileErrors) {
    if (!message.starts_with(english)) continue;
    const std::string_view rest = message.substr(english.size());
    // The path may hold ": " itself; the reason, the system's or ours, does not.
    const size_t colon = rest.rfind(": ");
    if (colon == std::string_view::npos) return std::string(rest) + ": " + std::string(hungarian);
    return std::string(rest.substr(0, colon)) + ": " + std::string(hungarian) + " (" +
           std::string(Reason(rest.substr(colon + 2))) + ")";
  }
  for (const auto& [english, hungarian] : kAudioErrors) {
    if (!message.starts_with(english)) continue;
    std::string_view rest = message.substr(english.size());
    if (rest == ".") rest = {};
    // A name or number after an opening that ends in a space follows it; a
    // code appended straight to the words goes in brackets.
    if (rest.empty() || hungarian.ends_with(' ') || rest.front() == ' ')
      return std::string(hungarian) + std::string(rest);
    return std::string(hungarian) + " (" + std::string(rest) + ")";
  }
  return std::string(message);
}

std::string WriteFailure(std::string_view path, std::string_view message) {
  for (const auto& wording : kFileErrors)
    if (message.starts_with(wording.first)) return HungarianMessage(message);
  return std::string(path) + ": nem írható (" + HungarianMessage(message) + ")";
}
