/* The host runtime's companion library. cssupport needs it by name only; the
   stand-in provides nothing in it. */
typedef int cssupport_tvl_standin_is_empty;
