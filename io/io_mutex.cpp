#include "io/io_mutex.h"

namespace kpx::io {

// Constructed when the library is loaded, destroyed when it is unloaded.
GdMutex IoMutex;

}  // namespace kpx::io
