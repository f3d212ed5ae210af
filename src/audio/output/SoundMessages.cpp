#include "audio/output/SoundMessages.h"

#include <cinttypes>
#include <cstdio>

namespace SoundMessages {

namespace {

std::string Quoted(std::string_view text) { return "„" + std::string(text) + "”"; }

}  // namespace

std::string NoDeviceNumber(int64_t Number, int32_t DeviceCount) {
  if (DeviceCount <= 0) return "Nem található hangkimenet ezen a gépen.";
  return "Nincs ilyen számú hangkimenet: " + std::to_string(Number) + " (a választható számok: 0–" +
         std::to_string(DeviceCount - 1) + ").";
}

std::string NoDeviceName(std::string_view Name, int32_t DeviceCount) {
  if (DeviceCount <= 0) return "Nem található hangkimenet ezen a gépen.";
  return "Nincs ilyen nevű hangkimenet: " + Quoted(Name) + ".";
}

std::string AmbiguousDeviceName(std::string_view Name, const std::vector<std::string>& Matches) {
  std::string list;
  for (const std::string& match : Matches) list += (list.empty() ? "" : ", ") + Quoted(match);
  return "Több hangkimenet neve is illik erre: " + Quoted(Name) + " (" + list +
         "). Adja meg a teljes nevet vagy a számát.";
}

std::string CannotOpen(std::string_view Device, std::string_view Cause, TSoundResult Code) {
  char code[16];
  std::snprintf(code, sizeof code, "%08" PRIX32, uint32_t(Code));
  return "Nem nyitható meg a hangkimenet (" + Quoted(Device) + "): " + std::string(Cause) + " (hibakód: " + code +
         ").";
}

std::string PlaybackBroke(std::string_view Device, std::string_view Cause) {
  return "Megszakadt a lejátszás a hangkimeneten (" + Quoted(Device) + "): " + std::string(Cause) + ".";
}

std::string FellBackToDefault(std::string_view Chosen, std::string_view Cause, std::string_view Default) {
  return "A választott hangkimenet (" + Quoted(Chosen) + ") nem nyitható meg: " + std::string(Cause) +
         ". A lejátszás az alapértelmezett hangkimeneten szól (" + Quoted(Default) + ").";
}

}  // namespace SoundMessages
