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
#else
#define CSSUPPORT_EXPORT
#endif

#endif  // CSSUPPORT_EXPORT_H_
