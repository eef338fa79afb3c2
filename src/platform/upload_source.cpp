#include "platform/upload_source.h"

#include <algorithm>
#include <cstring>

namespace varnel {

std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* user) {
  UploadSource& u = *static_cast<UploadSource*>(user);
  const std::size_t n = std::min(size * count, u.data.size() - u.pos);
  std::memcpy(buffer, u.data.data() + u.pos, n);
  u.pos += n;
  return n;
}

}  // namespace varnel
