#include "platform/error.h"

#include <cerrno>
#include <cstring>

namespace varnel {

VarnelError FileError(int errnum, const std::string& path) {
  switch (errnum) {
    case ENOENT: return VarnelError(err::kFileNotFound, "File not found: " + path);
    case ENOTDIR: return VarnelError(err::kPathNotFound, "Path not found: " + path);
    case EACCES:
    case EPERM:
    case EROFS: return VarnelError(err::kPermissionDenied, "Permission denied: " + path);
    default:
      return VarnelError(err::kPathFileAccess,
                         "Path/File access error: " + path + " (" + std::strerror(errnum) + ")");
  }
}

VarnelError SocketError(int errnum) {
  switch (errnum) {
    case EADDRINUSE: return VarnelError(err::kAddrInUse, "Address in use");
    case EADDRNOTAVAIL: return VarnelError(err::kAddrNotAvail, "Address not available");
    case ECONNREFUSED: return VarnelError(err::kConnRefused, "Connection refused");
    default: break;
  }
  // The other errors a socket meets, under their Winsock numbers.
  static constexpr struct {
    int errnum, number;
  } kWinsock[] = {{EMFILE, 10024},       {EMSGSIZE, 10040},   {ENETUNREACH, 10051},
                  {ECONNABORTED, 10053}, {ECONNRESET, 10054}, {ENOBUFS, 10055},
                  {ENOTCONN, 10057},     {ETIMEDOUT, 10060},  {EHOSTUNREACH, 10065}};
  for (const auto& w : kWinsock)
    if (w.errnum == errnum) return VarnelError(w.number, std::strerror(errnum));
  return VarnelError(10000 + errnum, std::strerror(errnum));
}

}  // namespace varnel
