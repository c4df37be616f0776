// A Java runtime stand-in for the tests. It reads its behaviour from the file
// named by its own argv[0] with ".conf" appended (it may be started with an
// empty environment), one "key=value" per line:
//   count=FILE          append a line to FILE on every "-version" call
//   version_line=TEXT   the first line of "-version" (default: java version "1.5.0_22")
//   version_to=WHERE    stderr (default), stdout, none, or report: a line of
//                       its own that tells how it was started
//   flood=N             N more bytes after the line
//   version_exit=N      exit code of "-version"
//   version_signal=N    end by signal N after writing
//   record=FILE         any other call writes its arguments, environment,
//                       directory and signal state to FILE, one item a line
//   exit=N, signal=N    how any other call ends
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
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
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) conf[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return conf;
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string DescriptorState(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return "closed";
  return S_ISFIFO(st.st_mode) ? "pipe" : "open";
}

void End(const std::map<std::string, std::string>& conf, const char* exitKey, const char* signalKey) {
  auto sig = conf.find(signalKey);
  if (sig != conf.end()) {
    signal(atoi(sig->second.c_str()), SIG_DFL);
    raise(atoi(sig->second.c_str()));
  }
  auto code = conf.find(exitKey);
  _exit(code == conf.end() ? 0 : atoi(code->second.c_str()));
}

void AnswerVersion(int argc, std::map<std::string, std::string>& conf) {
  if (conf.count("count")) {
    int fd = open(conf["count"].c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    WriteAll(fd, "probe\n");
    close(fd);
  }
  std::string line = conf.count("version_line") ? conf["version_line"] : "java version \"1.5.0_22\"";
  std::string where = conf.count("version_to") ? conf["version_to"] : "stderr";
  if (where == "report") {
    int variables = 0;
    for (char** e = environ; *e != nullptr; ++e) ++variables;
    line = "java version \"1.5.0 fd0=" + DescriptorState(0) + " fd1=" + DescriptorState(1) +
           " fd2=" + DescriptorState(2) + " env=" + std::to_string(variables) +
           " args=" + std::to_string(argc) + "\"";
  }
  std::string text = line + "\nStand-in Runtime Environment\n";
  if (conf.count("flood")) text += std::string(atoi(conf["flood"].c_str()), 'x');
  if (where == "stdout")
    WriteAll(1, text);
  else if (where != "none")
    WriteAll(2, text);
  End(conf, "version_exit", "version_signal");
}

void Record(int argc, char** argv, const std::string& file) {
  std::string text;
  for (int i = 0; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
  for (char** e = environ; *e != nullptr; ++e) text += std::string("env=") + *e + "\n";
  char cwd[4096];
  text += std::string("cwd=") + (getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
  sigset_t blocked;
  sigprocmask(SIG_BLOCK, nullptr, &blocked);
  for (int sig = 1; sig < 32; ++sig) {
    struct sigaction sa;
    sigaction(sig, nullptr, &sa);
    const char* disposition = sa.sa_handler == SIG_DFL   ? "default"
                              : sa.sa_handler == SIG_IGN ? "ignored"
                                                         : "handled";
    text += "signal" + std::to_string(sig) + "=" + disposition +
            (sigismember(&blocked, sig) ? ",blocked" : "") + "\n";
  }
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  WriteAll(fd, text);
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> conf = ReadConf(argv[0]);
  if (argc == 2 && strcmp(argv[1], "-version") == 0) AnswerVersion(argc, conf);
  if (conf.count("record")) Record(argc, argv, conf["record"]);
  End(conf, "exit", "signal");
}
