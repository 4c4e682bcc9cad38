#include "bench/event_history.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cssupport/events/dump_jot.h"
#include "cssupport/events/internal/event_catalogue.h"
#include "cssupport/events/internal/event_file.h"

namespace cssupport_bench {

const char kHistoryEvent[] = "jot.user.cs.schema.file.error";
const char kNewArgument[] = "/etc/configstore/schema/new.json";

namespace {

std::string Failed(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool WriteText(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written =
      write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && written;
}

// Writes `iov` (whose pieces total `size` bytes) over the file at `path`,
// created when absent, cut to that length.
std::string Overwrite(const std::string& path, iovec* iov, int count,
                      std::size_t size) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Failed("open " + path);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = writev(fd, iov, count);
    if (n <= 0) {
      const std::string error = Failed("write " + path);
      close(fd);
      return error;
    }
    written += static_cast<std::size_t>(n);
    for (std::size_t left = static_cast<std::size_t>(n); left > 0;) {
      const std::size_t step = std::min(left, iov->iov_len);
      iov->iov_base = static_cast<char*>(iov->iov_base) + step;
      iov->iov_len -= step;
      left -= step;
      if (iov->iov_len == 0) ++iov, --count;
    }
  }
  return close(fd) == 0 ? "" : Failed("close " + path);
}

const char* HistoryMessage() {
  for (const auto& [id, message] : KoraConfigStore::internal::kEventCatalogue)
    if (std::strcmp(id, kHistoryEvent) == 0) return message;
  throw std::logic_error("the benchmark's event is not in the catalogue");
}

}  // namespace

std::string EnterPrivateRunDirectory() {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (unshare(CLONE_NEWNS) != 0) {
    if (errno != EPERM) return Failed("unshare(CLONE_NEWNS)");
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
      return Failed("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
    if (!WriteText("/proc/self/setgroups", "deny") ||
        !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return Failed("mapping the user namespace");
  }
  // Nothing mounted here reaches the namespace the process came from.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return Failed("making the mounts private");
  if (mount("none", "/var/run", "tmpfs", 0, "mode=0755") != 0)
    return Failed("mounting a tmpfs on /var/run");
  const std::string path = KoraConfigStore::internal::kEventRecordFilePath;
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string directory = path.substr(0, slash);
    if (mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST)
      return Failed("mkdir " + directory);
  }
  return "";
}

std::string RecordJson(const std::string& argument) {
  return std::string("{\"jotId\":\"") + kHistoryEvent + "\",\"jotMsg\":\"" +
         HistoryMessage() + "\",\"jotArgs\":[\"" + argument + "\"]}";
}

std::string PreparedArgument(long i) {
  return "/etc/configstore/schema/object-" + std::to_string(i) + ".json";
}

EventHistoryText::EventHistoryText(long count) : records(count) {
  if (count < 2) throw std::invalid_argument("a history of at least 2");
  text = "{\"jots\":[";
  for (long i = 0; i < count; ++i) {
    if (i > 0) text += ',';
    if (i == count - 1) beforeLast = text.size() - 1;
    text += RecordJson(PreparedArgument(i));
  }
  text += "]}";
}

std::string PrepareEventFile(const EventHistoryText& history) {
  const std::string path = KoraConfigStore::internal::kEventRecordFilePath;
  char end[] = "]}";
  iovec pieces[] = {
      {const_cast<char*>(history.text.data()), history.beforeLast}, {end, 2}};
  const std::string error = Overwrite(path, pieces, 2, history.beforeLast + 2);
  if (!error.empty()) return error;
  const std::string last = PreparedArgument(history.records - 1);
  KoraConfigStore::DumpJot(kHistoryEvent, 1, last.c_str());
  std::string found;
  if (!ReadWhole(path, found)) return Failed("reading " + path);
  if (found != history.text)
    return "DumpJot did not leave the " + std::to_string(history.records) +
           "-record file expected (" + std::to_string(found.size()) +
           " bytes, not " + std::to_string(history.text.size()) + ")";
  return "";
}

off_t FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

bool ReadWhole(const std::string& path, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // The size is a hint only: /proc's files say 0.
  struct stat info;
  text.resize(fstat(fd, &info) == 0 && info.st_size > 0
                  ? static_cast<std::size_t>(info.st_size) + 1
                  : 4096);
  std::size_t done = 0;
  for (;;) {
    if (done == text.size()) text.resize(2 * text.size());
    const ssize_t n = read(fd, &text[done], text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      text.resize(done);
      close(fd);
      return n == 0;
    }
    done += static_cast<std::size_t>(n);
  }
}

std::string WriteJsonLines(const std::string& path, long records) {
  std::string text;
  for (long i = 0; i < records; ++i)
    text += RecordJson(PreparedArgument(i)) + '\n';
  iovec piece = {&text[0], text.size()};
  return Overwrite(path, &piece, 1, text.size());
}

bool AppendJsonLine(const std::string& path, const std::string& argument) {
  const std::string line = RecordJson(argument) + '\n';
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  bool done = flock(fd, LOCK_EX) == 0;
  done = done && write(fd, line.data(), line.size()) ==
                     static_cast<ssize_t>(line.size());
  done = flock(fd, LOCK_UN) == 0 && done;
  return close(fd) == 0 && done;
}

}  // namespace cssupport_bench
