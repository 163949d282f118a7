/* Preloaded into the tool by its tests: an FFTW allocator that always
 * fails, as when memory for the module's transform buffers runs out. The
 * module then cannot filter any frame, and the tool must say so. */
#include <stddef.h>

void* fftwf_malloc(size_t bytes) {
  (void)bytes;
  return NULL;
}
