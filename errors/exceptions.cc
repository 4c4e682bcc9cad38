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
  CSLogger::Log(CSLogger::CS_LOG_ERROR, "[%d] %s", errorCode,
                this->message.c_str());
  CSLogger::LogBacktrace();
}

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
    : ConfigStoreException(code, message), errors(errors) {}

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
