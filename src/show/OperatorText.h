#pragma once
// The Hungarian wording of the messages the model and audio layers give in
// English (file errors, audio errors), for where the window and the command
// line show them to the operator. Those layers keep their own texts, which
// their callers and logs rely on; the wording is chosen once, here.
//
// Any thread; pure.

#include <string>
#include <string_view>

// "cannot open PATH: REASON" becomes "PATH: nem nyitható meg (REASON)",
// "Failed to create DirectSound device" "a hangeszköz nem nyitható meg", and
// so on. A message it does not know comes back unchanged, so nothing is lost.
std::string HungarianMessage(std::string_view message);

// Why PATH could not be written, for "PATH: nem írható (REASON)" lines: a
// file error that names its own path ("cannot write PATH: REASON") is
// worded as HungarianMessage words it, without naming the path twice; any
// other message gets the path and "nem írható" in front.
std::string WriteFailure(std::string_view path, std::string_view message);
