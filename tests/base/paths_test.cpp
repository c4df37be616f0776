#include "base/paths.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/child.h"

namespace {

const char kScript[] = "#!/bin/sh\nexit 0\n";

// FindExecName in a child that runs in cwd with the given PATH (null: unset).
std::string Find(const std::string& name, const char* path, const std::string& cwd) {
  return test::InChild([&] {
    if (chdir(cwd.c_str()) != 0) return std::string("chdir failed");
    path ? setenv("PATH", path, 1) : unsetenv("PATH");
    return FindExecName(name.c_str()).value_or("<none>");
  });
}

TEST(FindExecName, FindsTheFileAShellWouldRun) {
  test::ScratchDir dir;
  std::string a = dir.MakeDir("a"), cwd = dir.MakeDir("cwd"), c = dir.MakeDir("c");
  std::string setup = dir.Write("c/setup", kScript, 0755);
  dir.Write("cwd/sub/setup", kScript, 0755);
  // Absolute: a doubled leading slash. Relative with a slash: joined, unnormalised.
  EXPECT_EQ(Find(setup, nullptr, "/"), "/" + setup);
  EXPECT_EQ(Find(dir / "missing", nullptr, "/"), "<none>");
  EXPECT_EQ(Find("./sub/setup", nullptr, cwd), cwd + "/./sub/setup");
  EXPECT_EQ(Find("./sub/missing", nullptr, cwd), "<none>");
  // Bare: PATH in order; an empty element, at either end or doubled, is ".".
  std::string path = a + "::" + c;
  EXPECT_EQ(Find("setup", path.c_str(), cwd), c + "/setup");
  EXPECT_EQ(Find("setup", nullptr, cwd), "<none>");
  dir.Write("cwd/setup", kScript, 0755);
  for (const char* p : {path.c_str(), ":/nowhere", "/nowhere:", ""}) EXPECT_EQ(Find("setup", p, cwd), "./setup") << p;
  EXPECT_EQ(Find("setup", "/nowhere", cwd), "<none>");
}

// Makes a FIFO, a Unix socket and a character device (the null device)
// named setup in the directories fifo, socket and device of dir, every one
// with the permission bits of a program.
void MakeSpecialFiles(const test::ScratchDir& dir) {
  std::string fifo = dir.MakeDir("fifo") + "/setup";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0755), 0) << strerror(errno);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string socket = dir.MakeDir("socket") + "/setup";
  ASSERT_LT(socket.size(), sizeof address.sun_path);
  memcpy(address.sun_path, socket.c_str(), socket.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address), 0) << strerror(errno);
  close(fd);
  std::string device = dir.MakeDir("device") + "/setup";
  ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0755, makedev(1, 3)), 0) << strerror(errno);
  for (const std::string& path : {fifo, socket, device}) ASSERT_EQ(chmod(path.c_str(), 0755), 0) << path;
}

TEST(FindExecName, TakesOnlyRegularFilesTheUserMayReadAndExecute) {
  test::ScratchDir dir(0755);
  dir.MakeDir("dir/setup");
  dir.Write("ro/setup", kScript, 0644);
  dir.Write("xo/setup", kScript, 0711);
  ASSERT_NO_FATAL_FAILURE(MakeSpecialFiles(dir));
  std::string good = dir.Write("good/setup", kScript, 0755);
  symlink(good.c_str(), (dir.MakeDir("link") + "/setup").c_str());
  std::string path = dir / "dir:" + dir / "ro:" + dir / "xo:" + dir / "fifo:" + dir / "socket:" +
                     dir / "device:" + dir / "link:" + dir / "good";
  EXPECT_EQ(test::AsNobody([&] {
              setenv("PATH", path.c_str(), 1);
              return FindExecName("setup").value_or("<none>");
            }),
            dir / "link/setup");
  // Named with a path, absolute or relative, they are not taken either.
  for (const char* special : {"fifo", "socket", "device"}) {
    EXPECT_EQ(Find(dir / (std::string(special) + "/setup"), nullptr, "/"), "<none>") << special;
    EXPECT_EQ(Find(std::string("./") + special + "/setup", nullptr, dir.path()), "<none>") << special;
  }
}

}  // namespace
