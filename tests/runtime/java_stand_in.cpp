// A Java runtime stand-in for the tests. It reads its behaviour from the file
// named by its own argv[0] with ".conf" appended (it may be started with an
// empty environment), one "key=value" per line:
//   version=TEXT     the first line of "-version" (default: java version "1.5.0_22")
//   to=WHERE         where "-version" writes: stderr (default), stdout, none, or
//                    report: a line of its own that tells how it was started
//   log=FILE         "-version" appends "probe" to FILE; any other call appends
//                    its arguments, environment and blocked signals, one item a line
//   exit=N, signal=N how every call ends
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

std::string Record(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
  for (char** e = environ; *e != nullptr; ++e) text += std::string("env=") + *e + "\n";
  sigset_t blocked;
  sigprocmask(SIG_BLOCK, nullptr, &blocked);
  for (int sig = 1; sig < 32; ++sig)
    if (sigismember(&blocked, sig)) text += "blocked=" + std::to_string(sig) + "\n";
  return text;
}

std::string VersionText(int argc, std::map<std::string, std::string>& conf) {
  std::string line = conf.count("version") ? conf["version"] : "java version \"1.5.0_22\"";
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
  if (!conf["log"].empty()) {
    int fd = open(conf["log"].c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    WriteAll(fd, version ? "probe\n" : Record(argc, argv));
    close(fd);
  }
  if (version && conf["to"] != "none") WriteAll(conf["to"] == "stdout" ? 1 : 2, VersionText(argc, conf));
  if (!conf["signal"].empty()) raise(atoi(conf["signal"].c_str()));
  _exit(atoi(conf["exit"].c_str()));
}
