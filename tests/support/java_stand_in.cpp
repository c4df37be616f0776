// The Java runtime stand-in of the tests: a runtime home's bin/java that
// records how it was started. It reads its behaviour from the file named by
// its own argv[0] with ".conf" appended (it may be started with an empty
// environment and closed descriptors), one "key=value" per line:
//   version=TEXT   the first line of "-version" (default: java version "1.8.0_91")
//   to=WHERE       where "-version" writes: stderr (default), stdout, none, or
//                  report: a version line that tells how it was started
//   log=FILE       "-version" appends "probe"; a run appends its arguments,
//                  environment, working directory and the files below it,
//                  and its ignored and blocked signals, one "key=value" a line
//   started=FILE   a run creates FILE first
//   wait=FILE      a run then waits until FILE exists
//   probe_started=FILE, probe_wait=FILE  the same for "-version"
//   exit=N, signal=N  how every call ends
//   demote=1       "-version" leaves bin/java unexecutable behind itself
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

extern char** environ;

namespace {

std::map<std::string, std::string> ReadConf(const char* argv0) {
  std::map<std::string, std::string> conf;
  std::ifstream in(std::string(argv0) + ".conf");
  for (std::string line; std::getline(in, line);) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) conf[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return conf;
}

// Without signal handlers, a blocking write to a pipe or file takes all of text.
void WriteAll(int fd, const std::string& text) {
  if (write(fd, text.data(), text.size()) < 0) return;
}

std::string DescriptorState(int fd) {
  struct stat st;
  return fstat(fd, &st) != 0 ? "closed" : S_ISFIFO(st.st_mode) ? "pipe" : "open";
}

void ListFiles(const std::string& dir, const std::string& prefix, std::string* text) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    *text += "file=" + prefix + name + "\n";
    struct stat st;
    if (lstat((dir + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      ListFiles(dir + "/" + name, prefix + name + "/", text);
  }
  closedir(d);
}

std::string Record(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
  for (char** e = environ; *e != nullptr; ++e) text += std::string("env=") + *e + "\n";
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) != nullptr) text += std::string("cwd=") + cwd + "\n";
  ListFiles(".", "", &text);
  sigset_t blocked;
  sigprocmask(SIG_BLOCK, nullptr, &blocked);
  for (int sig = 1; sig < 32; ++sig) {
    struct sigaction action;
    if (sigaction(sig, nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
      text += "ignored=" + std::to_string(sig) + "\n";
    if (sigismember(&blocked, sig)) text += "blocked=" + std::to_string(sig) + "\n";
  }
  return text + "end=\n";
}

std::string VersionText(int argc, std::map<std::string, std::string>& conf) {
  std::string line = conf.count("version") ? conf["version"] : "java version \"1.8.0_91\"";
  if (conf["to"] == "report") {
    int variables = 0;
    for (char** e = environ; *e != nullptr; ++e) ++variables;
    line = "java version \"1.5.0 fd0=" + DescriptorState(0) + " fd1=" + DescriptorState(1) +
           " fd2=" + DescriptorState(2) + " env=" + std::to_string(variables) +
           " args=" + std::to_string(argc) + "\"";
  }
  return line + "\nStand-in Runtime Environment\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> conf = ReadConf(argv[0]);
  bool version = argc == 2 && strcmp(argv[1], "-version") == 0;
  std::string started = conf[version ? "probe_started" : "started"];
  std::string wait = conf[version ? "probe_wait" : "wait"];
  if (!started.empty()) close(open(started.c_str(), O_WRONLY | O_CREAT, 0644));
  while (!wait.empty() && access(wait.c_str(), F_OK) != 0) usleep(10000);
  if (!conf["log"].empty()) {
    int fd = open(conf["log"].c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    WriteAll(fd, version ? "probe\n" : Record(argc, argv));
    close(fd);
  }
  if (version && conf["to"] != "none") WriteAll(conf["to"] == "stdout" ? 1 : 2, VersionText(argc, conf));
  if (version && conf["demote"] == "1") chmod(argv[0], 0644);
  if (!conf["signal"].empty()) raise(atoi(conf["signal"].c_str()));
  _exit(atoi(conf["exit"].c_str()));
}
