/// \file
/// \brief The one way to include RapidJSON: its failed assertions throw.
///
/// The only way RapidJSON enters this library (and, through our headers, its
/// users): every RapidJSON internal assertion whose condition is false throws
/// KoraConfigStore::ConfigStoreException by value with code 1082
/// (CS_ERR_INVALID_JSON) and the constant message
/// ~~~
///   JSON error:"<rapidjson header path>":<line>: <condition>
///
/// e.g. JSON error:"/usr/include/rapidjson/document.h":1218: IsObject()
/// ~~~
///
/// Building that exception logs it with a back-trace, like any other. Inside a
/// RapidJSON operation declared noexcept the throw ends the process.
///
/// What a translation unit that includes it (directly, or through
/// cssupport/config/generated_id.h) must do:
/// - Include it before any RapidJSON header. RapidJSON headers included after
///   it (rapidjson/pointer.h, rapidjson/schema.h, ...) use the same hook.
/// - Include it in every translation unit of the program that includes a
///   RapidJSON header. RapidJSON is compiled into each translation unit that
///   uses it and the linker keeps one copy of each of its functions: units
///   built with RapidJSON's default assert() beside units built with this
///   hook break the one-definition rule, and which behaviour a failed
///   assertion then has (abort or throw) is not defined.
/// - Not define RAPIDJSON_ASSERT itself: a definition made before this header
///   is replaced by the hook.
///
/// A translation unit that included RapidJSON first stops at this header's
/// `#error`: "RapidJSON was included before cssupport/errors/json.h; include
/// this header first".
///
/// It leaves defined RAPIDJSON_ASSERT, CSSUPPORT_RAPIDJSON_HOOKED (the mark
/// that the hook is in place) and CSSUPPORT_JSON_STR and CSSUPPORT_JSON_STR_,
/// which RAPIDJSON_ASSERT expands to wherever a later RapidJSON header uses
/// it.
#ifndef CSSUPPORT_ERRORS_JSON_H_
#define CSSUPPORT_ERRORS_JSON_H_

#if defined(RAPIDJSON_RAPIDJSON_H_) && !defined(CSSUPPORT_RAPIDJSON_HOOKED)
#error \
    "RapidJSON was included before cssupport/errors/json.h; include this header first"
#endif

#include "cssupport/errors/error_codes.h"
#include "cssupport/errors/exceptions.h"

/// Defined by this header: RapidJSON's assertions in this translation unit
/// throw as the header describes.
#define CSSUPPORT_RAPIDJSON_HOOKED 1
#define CSSUPPORT_JSON_STR_(x) #x
#define CSSUPPORT_JSON_STR(x) CSSUPPORT_JSON_STR_(x)

#ifdef RAPIDJSON_ASSERT
#undef RAPIDJSON_ASSERT
#endif
/// RapidJSON's assertion hook: throws KoraConfigStore::ConfigStoreException
/// (1082) when `x` is false, as the header describes.
#define RAPIDJSON_ASSERT(x)                            \
  do {                                                 \
    if (!(x))                                          \
      throw ::KoraConfigStore::ConfigStoreException(   \
          ::KoraConfigStore::CS_ERR_INVALID_JSON,      \
          "JSON error:\"" __FILE__                     \
          "\":" CSSUPPORT_JSON_STR(__LINE__) ": " #x); \
  } while (false)

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/filereadstream.h>
#include <rapidjson/filewritestream.h>
#include <rapidjson/istreamwrapper.h>
#include <rapidjson/ostreamwrapper.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/writer.h>

#endif  // CSSUPPORT_ERRORS_JSON_H_
