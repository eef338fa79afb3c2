// Run-time errors of the service: a classic error number and a description.
#pragma once
#include <stdexcept>
#include <string>

namespace varnel {

class VarnelError : public std::runtime_error {
 public:
  VarnelError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }

 private:
  int number_;
};

// Classic error numbers used across the service.
namespace err {
constexpr int kOverflow = 6;
constexpr int kSubscript = 9;
constexpr int kTypeMismatch = 13;
constexpr int kFileNotFound = 53;
constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccess = 75;
constexpr int kPathNotFound = 76;
constexpr int kNoCurrentRecord = 3021;
constexpr int kItemNotFound = 3265;
constexpr int kDatabaseBase = 3000;  // + SQLite result code
constexpr int kAddrInUse = 10048;
constexpr int kAddrNotAvail = 10049;
constexpr int kConnRefused = 10061;
constexpr int kHostNotFound = 11001;
}  // namespace err

// Maps an errno value from a file operation to the classic file error.
VarnelError FileError(int errnum, const std::string& path);

// Maps an errno value from a socket operation to the Winsock-style number.
VarnelError SocketError(int errnum);

}  // namespace varnel
