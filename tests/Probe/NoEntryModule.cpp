// A broken module fixture: it exports QVDllInit and nothing else.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t QVDllInit(void*) { return 0; }
