/// \file
/// \brief The exception family that carries ConfigStore error codes.
///
/// ~~~
/// std::exception
///   HostCtl::Lib::HostCtlException        message, attachment
///     KoraConfigStore::ConfigStoreException  + errorCode, extraStrings
///       KoraConfigStore::ValidationException + errors (ErrorInfo list)
/// ~~~
///
/// Objects never change after construction; any thread may build, throw,
/// catch and print them. Type information is exported, so callers catch these
/// types across the library boundary.
#ifndef CSSUPPORT_ERRORS_EXCEPTIONS_H_
#define CSSUPPORT_ERRORS_EXCEPTIONS_H_

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cssupport/export.h"

/// The host's namespace, of which this library defines one type.
namespace HostCtl {
/// The host library's types: this library defines the exception base.
namespace Lib {

/// The base of the family: a message, and room for the host's own payload.
class CSSUPPORT_EXPORT HostCtlException : public std::exception {
 public:
  /// Copies `message`. Internal to the library: components construct the
  /// derived classes.
  /// \throws std::logic_error for a null message.
  CSSUPPORT_INTERNAL explicit HostCtlException(const char* message);
  /// Releases the message and this object's share of the attachment.
  ~HostCtlException() override;

  /// The message, without the code; valid while the exception lives.
  const char* what() const noexcept override;

 protected:
  /// The text what() returns.
  std::string message;
  /// Room for the host's own payload; this library never sets or reads it.
  std::shared_ptr<void> attachment;
};

}  // namespace Lib
}  // namespace HostCtl

namespace KoraConfigStore {

/// One problem found by a validation: printed as "subject: detail".
struct ErrorInfo {
  /// What the problem is about: the text before the colon.
  std::string subject;
  /// What is wrong with it: the text after the colon.
  std::string detail;
};

/// \brief An error code and its message, logged when the object is built.
///
/// Constructing a ConfigStoreException (or a ValidationException) logs
/// "[<code>] <message>" at CS_LOG_ERROR and then the current back-trace, with
/// the constructing thread's logging context, whether or not the object is
/// ever thrown.
class CSSUPPORT_EXPORT ConfigStoreException
    : public HostCtl::Lib::HostCtlException {
 public:
  /// Stores the code and message, then logs them and a back-trace (as the
  /// class describes) whose first frame is the function that constructs the
  /// exception.
  /// \throws std::logic_error for a null message, before anything is logged.
  ConfigStoreException(int code, const char* message);
  /// Logs nothing: only construction logs.
  ~ConfigStoreException() override;

  /// The code given at construction.
  int GetErrorCode() const;

  /// Returns "Error Code: <code>\nMessage: <message>\n".
  std::string toString() const;

 protected:
  /// The code GetErrorCode() returns.
  int errorCode;
  /// Empty in every exception this library builds; reserved for callers.
  std::vector<std::string> extraStrings;

 private:
  friend class ValidationException;
  struct Unlogged {};
  // Builds the fields without logging, for a derived constructor that logs
  // from its own frame.
  CSSUPPORT_INTERNAL ConfigStoreException(int code, const char* message,
                                          Unlogged);
};

/// A ConfigStoreException that also carries the problems a validation found.
class CSSUPPORT_EXPORT ValidationException : public ConfigStoreException {
 public:
  /// As ConfigStoreException (same single log line and back-trace), then
  /// copies `errors`; the caller's list is left unchanged.
  /// \throws std::logic_error for a null message, before anything is logged.
  ValidationException(int code, const char* message,
                      std::vector<ErrorInfo>& errors);
  /// Logs nothing: only construction logs.
  ~ValidationException() override;

  /// The records copied at construction, in their order; valid while the
  /// exception lives.
  const std::vector<ErrorInfo>& GetErrors() const;

  /// The base text followed, for a non-empty list, by "Details: \n" and one
  /// "subject: detail\n" line per record. Hides (does not override) the base
  /// toString: called through a ConfigStoreException it gives the base text.
  std::string toString() const;

 protected:
  /// The records GetErrors() returns.
  std::vector<ErrorInfo> errors;
};

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_ERRORS_EXCEPTIONS_H_
