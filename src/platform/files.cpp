#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/error.h"

namespace varnel {
namespace {

void WriteAll(int fd, const std::string& data, const std::string& path) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      throw FileError(e, path);
    }
    done += static_cast<std::size_t>(n);
  }
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string data;
  for (const auto& l : lines) {
    data += l;
    data += "\r\n";
  }
  return data;
}

// A missing directory on the way reads as "Path not found".
VarnelError OpenError(int e, const std::string& path) {
  if (e == ENOENT) {
    auto slash = path.find_last_of('/');
    if (slash != std::string::npos && !FileExists(path.substr(0, slash)))
      return VarnelError(err::kPathNotFound, "Path not found: " + path);
  }
  return FileError(e, path);
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void DeleteFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw FileError(errno, path);
}

void AppendLines(const std::string& path, const std::vector<std::string>& lines) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) throw OpenError(errno, path);
  // A write cut short (a full disk) is taken back, so readers never meet half a line.
  struct stat st {};
  const bool sized = ::fstat(fd, &st) == 0;
  try {
    WriteAll(fd, JoinCrLf(lines), path);
  } catch (const VarnelError&) {
    // Should this fail too, the write error is still the one reported.
    if (sized) [[maybe_unused]]
      const int rc = ::truncate(path.c_str(), st.st_size);
    throw;
  }
  ::close(fd);
}

std::vector<std::string> ReadLines(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw OpenError(errno, path);
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      throw FileError(e, path);
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < data.size(); ++i) {
    char c = data[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(cur));
      cur.clear();
      if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(std::move(cur));
  return lines;
}

void RewriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::string tmp = path + ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw OpenError(errno, tmp);
  WriteAll(fd, JoinCrLf(lines), tmp);
  if (::fsync(fd) != 0) {
    int e = errno;
    ::close(fd);
    throw FileError(e, tmp);
  }
  if (::close(fd) != 0) throw FileError(errno, tmp);
  if (::rename(tmp.c_str(), path.c_str()) != 0) throw FileError(errno, path);
}

}  // namespace varnel
