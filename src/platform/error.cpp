#include "platform/error.h"

#include <cerrno>
#include <cstring>

namespace varnel {

VarnelError FileError(int errnum, const std::string& path) {
  switch (errnum) {
    case ENOENT:
      return VarnelError(err::kFileNotFound, "File not found: " + path);
    case ENOTDIR:
      return VarnelError(err::kPathNotFound, "Path not found: " + path);
    case EACCES:
    case EPERM:
    case EROFS:
      return VarnelError(err::kPermissionDenied, "Permission denied: " + path);
    default:
      return VarnelError(err::kPathFileAccess,
                         "Path/File access error: " + path + " (" + std::strerror(errnum) + ")");
  }
}

VarnelError SocketError(int errnum) {
  switch (errnum) {
    case EADDRINUSE:
      return VarnelError(err::kAddrInUse, "Address in use");
    case EADDRNOTAVAIL:
      return VarnelError(err::kAddrNotAvail, "Address not available");
    case ECONNREFUSED:
      return VarnelError(err::kConnRefused, "Connection refused");
    default:
      return VarnelError(10000 + errnum, std::strerror(errnum));
  }
}

}  // namespace varnel
