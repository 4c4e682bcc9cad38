// The exception family that carries ConfigStore error codes.
//
//   std::exception
//     HostCtl::Lib::HostCtlException        message, attachment
//       KoraConfigStore::ConfigStoreException  + errorCode, extraStrings
//         KoraConfigStore::ValidationException + errors (ErrorInfo list)
//
// Constructing a ConfigStoreException (or a ValidationException) logs
// "[<code>] <message>" at CS_LOG_ERROR and then the current back-trace, with
// the constructing thread's logging context, whether or not the object is
// ever thrown. Objects never change after construction; any thread may build,
// throw, catch and print them. Type information is exported, so callers catch
// these types across the library boundary.
#ifndef CSSUPPORT_ERRORS_EXCEPTIONS_H_
#define CSSUPPORT_ERRORS_EXCEPTIONS_H_

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cssupport/export.h"

namespace HostCtl {
namespace Lib {

class CSSUPPORT_EXPORT HostCtlException : public std::exception {
 public:
  // Copies `message`. Throws std::logic_error for a null message. Internal
  // to the library: components construct the derived classes.
  CSSUPPORT_INTERNAL explicit HostCtlException(const char* message);
  ~HostCtlException() override;

  // The message, without the code; valid while the exception lives.
  const char* what() const noexcept override;

 protected:
  std::string message;
  // Room for the host's own payload; this library never sets or reads it.
  std::shared_ptr<void> attachment;
};

}  // namespace Lib
}  // namespace HostCtl

namespace KoraConfigStore {

// One problem found by a validation: printed as "subject: detail".
struct ErrorInfo {
  std::string subject;
  std::string detail;
};

class CSSUPPORT_EXPORT ConfigStoreException
    : public HostCtl::Lib::HostCtlException {
 public:
  // Stores the code and message, then logs them and a back-trace (see above)
  // whose first frame is the function that constructs the exception. Throws
  // std::logic_error for a null message before anything is logged.
  ConfigStoreException(int code, const char* message);
  ~ConfigStoreException() override;

  int GetErrorCode() const;

  // "Error Code: <code>\nMessage: <message>\n".
  std::string toString() const;

 protected:
  int errorCode;
  // Empty in every exception this library builds; reserved for callers.
  std::vector<std::string> extraStrings;

 private:
  friend class ValidationException;
  struct Unlogged {};
  // Builds the fields without logging, for a derived constructor that logs
  // from its own frame.
  CSSUPPORT_INTERNAL ConfigStoreException(int code, const char* message,
                                          Unlogged);
};

class CSSUPPORT_EXPORT ValidationException : public ConfigStoreException {
 public:
  // As ConfigStoreException (same single log line and back-trace), then copies
  // `errors`; the caller's list is left unchanged.
  ValidationException(int code, const char* message,
                      std::vector<ErrorInfo>& errors);
  ~ValidationException() override;

  const std::vector<ErrorInfo>& GetErrors() const;

  // The base text followed, for a non-empty list, by "Details: \n" and one
  // "subject: detail\n" line per record. Hides (does not override) the base
  // toString: called through a ConfigStoreException it gives the base text.
  std::string toString() const;

 protected:
  std::vector<ErrorInfo> errors;
};

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_ERRORS_EXCEPTIONS_H_
