#pragma once
// Typed errors with fixed English texts. They are thrown deep inside and
// caught only where the platform calls into the program.
#include <exception>
#include <string>

namespace snapvik {

class Exception : public std::exception {
 public:
  explicit Exception(std::wstring message) : message_(std::move(message)) {}
  const std::wstring& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return "snapvik::Exception"; }

 private:
  std::wstring message_;
};

#define SNAPVIK_ERROR_TYPE(Name)        \
  class Name : public Exception {       \
   public:                              \
    using Exception::Exception;         \
  }

SNAPVIK_ERROR_TYPE(EFCreateError);
SNAPVIK_ERROR_TYPE(EFOpenError);
SNAPVIK_ERROR_TYPE(EReadError);
SNAPVIK_ERROR_TYPE(EWriteError);
SNAPVIK_ERROR_TYPE(EStringListError);
SNAPVIK_ERROR_TYPE(EOutOfResources);
SNAPVIK_ERROR_TYPE(EInvalidOperation);
SNAPVIK_ERROR_TYPE(EInvalidGraphic);
SNAPVIK_ERROR_TYPE(EOSError);

#undef SNAPVIK_ERROR_TYPE

inline constexpr wchar_t kWriteErrorText[] = L"Stream write error";
inline constexpr wchar_t kReadErrorText[] = L"Stream read error";

}  // namespace snapvik
