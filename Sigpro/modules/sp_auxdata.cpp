#include "Sigpro/modules/sp_auxdata.h"

#include <cstdlib>
#include <cstring>

namespace sigpro {

int sp_auxdata_alloc(sp_auxdata* aux, std::size_t size) {
    if (aux->data != nullptr && aux->size == size) {
        std::memset(aux->data, 0, size);
        return 1;
    }
    sp_auxdata_free(aux);
    // calloc(0) may return nullptr legitimately; keep one byte so an empty buffer is still a valid one.
    void* data = std::calloc(size == 0 ? 1 : size, 1);
    if (data == nullptr) return 0;
    aux->data = data;
    aux->size = size;
    return 1;
}

int sp_auxdata_free(sp_auxdata* aux) {
    std::free(aux->data);
    aux->data = nullptr;
    aux->size = 0;
    return 1;
}

} // namespace sigpro
