// The one switch that decides what leaves libcssupport.so.
//
// The library is compiled with hidden visibility; only declarations marked
// CSSUPPORT_EXPORT appear in its dynamic symbol table. Exported classes carry
// the macro on the class so that their type information and vtables are
// visible too, which lets callers catch library exceptions by type.
#ifndef CSSUPPORT_EXPORT_H_
#define CSSUPPORT_EXPORT_H_

#if defined(__GNUC__)
#define CSSUPPORT_EXPORT __attribute__((visibility("default")))
// Keeps one member of an exported class out of the dynamic symbol table: it
// is callable only from inside the library.
#define CSSUPPORT_INTERNAL __attribute__((visibility("hidden")))
#else
#define CSSUPPORT_EXPORT
#define CSSUPPORT_INTERNAL
#endif

#endif  // CSSUPPORT_EXPORT_H_
