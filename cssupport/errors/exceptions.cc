#include "cssupport/errors/exceptions.h"

#include <stdexcept>

#include "cssupport/logging/cs_logger.h"

namespace {

// Refuses a null message before any member is built or anything is logged.
const char* NonNull(const char* message) {
  if (message == nullptr) {
    throw std::logic_error("exception message must not be null");
  }
  return message;
}

// Logs a constructed exception: "[<code>] <message>" at CS_LOG_ERROR, then
// the back-trace. Inlined into each constructor (even without optimisation),
// so the back-trace's first frame is the constructor's caller: the host skips
// two frames, LogBacktrace's and the constructor's.
[[gnu::always_inline]] inline void LogConstruction(int code,
                                                   const std::string& message) {
  CSLogger::Log(CSLogger::CS_LOG_ERROR, "[%d] %s", code, message.c_str());
  CSLogger::LogBacktrace();
  // Code after the call keeps the compiler from turning it into a tail jump,
  // which would drop the constructor's frame before the capture.
  asm volatile("" ::: "memory");
}

}  // namespace

namespace HostCtl {
namespace Lib {

HostCtlException::HostCtlException(const char* message)
    : message(NonNull(message)) {}

// Out of line: the key function, so the type information and vtable live in
// the library alone and every user shares them.
HostCtlException::~HostCtlException() = default;

const char* HostCtlException::what() const noexcept { return message.c_str(); }

}  // namespace Lib
}  // namespace HostCtl

namespace KoraConfigStore {

ConfigStoreException::ConfigStoreException(int code, const char* message)
    : HostCtlException(message), errorCode(code) {
  LogConstruction(errorCode, this->message);
}

ConfigStoreException::ConfigStoreException(int code, const char* message,
                                           Unlogged)
    : HostCtlException(message), errorCode(code) {}

ConfigStoreException::~ConfigStoreException() = default;

int ConfigStoreException::GetErrorCode() const { return errorCode; }

std::string ConfigStoreException::toString() const {
  std::string text = "Error Code: ";
  text += std::to_string(errorCode);
  text += "\nMessage: ";
  text += message;
  text += '\n';
  return text;
}

ValidationException::ValidationException(int code, const char* message,
                                         std::vector<ErrorInfo>& errors)
    : ConfigStoreException(code, message, Unlogged{}) {
  // Logged from this frame, before the list is copied: a copy that runs out
  // of memory finds the line and back-trace already written.
  LogConstruction(errorCode, this->message);
  this->errors = errors;
}

ValidationException::~ValidationException() = default;

const std::vector<ErrorInfo>& ValidationException::GetErrors() const {
  return errors;
}

std::string ValidationException::toString() const {
  std::string text = ConfigStoreException::toString();
  if (errors.empty()) return text;
  text += "Details: \n";
  for (const ErrorInfo& info : errors) {
    text += info.subject;
    text += ": ";
    text += info.detail;
    text += '\n';
  }
  return text;
}

}  // namespace KoraConfigStore
