/* A library that hosts a component in the archive path tests: it defines the one function
 * HOST_ENTRY names, which the lookup of a loaded host checks for by name. */
__attribute__((visibility("default"))) int HOST_ENTRY(void) { return 1; }
