// A request body handed out piece by piece to a library that pulls it through a read callback
// (the signature of libcurl's CURLOPT_READFUNCTION).
#pragma once
#include <cstddef>
#include <string_view>

namespace varnel {

struct UploadSource {
  std::string_view data;  // must outlive the transfer
  std::size_t pos = 0;
};

// Copies the next piece of the UploadSource at user into buffer; 0 once all is taken.
std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* user);

}  // namespace varnel
