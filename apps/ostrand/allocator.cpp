// The allocator's settings, read by jemalloc when the process starts (the
// executable is linked with it unless built with the sanitizers).
//
// Small allocations come from each thread's cache either way. Large ones
// (a leader page of a big department is a buffer of a megabyte or two,
// made on a worker and freed once sent) are what decide the memory: one
// arena, rather than four per processor, so that the buffers freed by any
// thread are reused by every other; and freed pages go back to the system
// after a quarter of a second (dirty) and at once after that (no muzzy
// state), so that a burst of big pages leaves no lasting growth.
#ifdef OSTRAND_JEMALLOC

extern "C" {
const char* malloc_conf = "narenas:1,dirty_decay_ms:250,muzzy_decay_ms:0";
}

#endif
