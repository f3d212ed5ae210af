#pragma once
// Runs the vomrella program built in this tree as a user runs it, with its
// output captured through files.

#include <map>
#include <string>
#include <vector>

#include "show/ChainTestSupport.h"

struct TResult {
  int Status = -1;  // exit status, or 128 + signal
  std::string Out;
  std::string Err;
};

// Runs the program with Args in WorkDir (this process's folder when empty);
// Env entries are added to (or replace those of) this process's environment.
// Output goes through files in Folder. Stdin is /dev/null.
TResult RunProgram(const TTempFolder& Folder, const std::vector<std::string>& Args,
                   const std::map<std::string, std::string>& Env = {}, const std::string& WorkDir = {});

std::string ReadText(const std::string& Path);
bool Contains(const std::string& Text, const std::string& Part);
bool FileExists(const std::string& Path);
