// Result of a file-layer operation.
//
// A Status is either success or a Windows system error code. The Win32 layer
// passes GetLastError() values through unchanged, so FormatMessage can always
// describe a failure; the portable code uses the few codes named below.
#pragma once

#include <cstdint>

namespace tolvex {

class [[nodiscard]] Status {
 public:
  constexpr Status() = default;
  constexpr explicit Status(std::uint32_t code) : code_(code) {}

  constexpr bool ok() const { return code_ == 0; }
  constexpr std::uint32_t code() const { return code_; }

 private:
  std::uint32_t code_ = 0;
};

// System error codes the portable layer raises itself (same values as winerror.h).
namespace error {
constexpr std::uint32_t kFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kInvalidHandle = 6;      // ERROR_INVALID_HANDLE: slot not open that way
constexpr std::uint32_t kInvalidData = 13;       // ERROR_INVALID_DATA: not a text file
constexpr std::uint32_t kWriteFault = 29;        // ERROR_WRITE_FAULT
constexpr std::uint32_t kHandleEof = 38;         // ERROR_HANDLE_EOF: read past the end
constexpr std::uint32_t kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER: bad slot number
constexpr std::uint32_t kDiskFull = 112;         // ERROR_DISK_FULL
constexpr std::uint32_t kBusy = 170;             // ERROR_BUSY: slot already in use
}  // namespace error

}  // namespace tolvex
