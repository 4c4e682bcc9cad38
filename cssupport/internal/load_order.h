// Internal: the order of the library's load-time initialisers.
//
// Two tables are built while the library loads: the event catalogue
// (jotMsgMap) first, then the logger's severity map (priorityLevelMap). They
// live in different translation units, so the order is fixed explicitly with
// init_priority; lower numbers run first, and both run before any ordinary
// static initialiser of the library or of its users.
#ifndef CSSUPPORT_INTERNAL_LOAD_ORDER_H_
#define CSSUPPORT_INTERNAL_LOAD_ORDER_H_

#define CSSUPPORT_INIT_EVENT_CATALOGUE 1001
#define CSSUPPORT_INIT_SEVERITY_MAP 1002

#endif  // CSSUPPORT_INTERNAL_LOAD_ORDER_H_
