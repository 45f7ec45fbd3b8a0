#pragma once

#include <cstddef>

namespace sigpro {

// An owned, zero-filled working buffer inside a module record (delay lines, spectra); sized by init.
// A zero-filled sp_auxdata ({0, nullptr}) is empty; that is how a freshly created record holds it.
struct sp_auxdata {
    std::size_t size;
    void* data;
};

// Gives the buffer `size` zero bytes. An earlier allocation of the same size is reused (cleared), any other
// is freed first, so a module's re-init never leaks. Returns 1, or 0 when memory is exhausted (then the
// buffer is empty).
int sp_auxdata_alloc(sp_auxdata* aux, std::size_t size);
// Frees the buffer and leaves it empty; freeing an empty buffer does nothing. Returns 1.
int sp_auxdata_free(sp_auxdata* aux);

} // namespace sigpro
