#include "CliRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

std::string ReadText(const std::string& Path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  return std::string(bytes.begin(), bytes.end());
}

TResult RunProgram(const TTempFolder& Folder, const std::vector<std::string>& Args,
                   const std::map<std::string, std::string>& Env, const std::string& WorkDir) {
  const std::string outPath = Folder.File("stdout.txt");
  const std::string errPath = Folder.File("stderr.txt");
  std::vector<std::string> argStore{VOMRELLA_PROGRAM};
  argStore.insert(argStore.end(), Args.begin(), Args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    if (!Env.count(name)) envStore.push_back(entry);
  }
  for (const auto& [name, value] : Env) envStore.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!WorkDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, WorkDir.c_str());
  pid_t pid = 0;
  TResult result;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    result.Err = std::string("cannot start the program: ") + std::strerror(spawned);
    return result;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.Out = ReadText(outPath);
  result.Err = ReadText(errPath);
  return result;
}

bool Contains(const std::string& Text, const std::string& Part) { return Text.find(Part) != std::string::npos; }

bool FileExists(const std::string& Path) { return access(Path.c_str(), F_OK) == 0; }

