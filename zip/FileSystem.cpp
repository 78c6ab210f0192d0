#include "FileSystem.h"

#include "Errors.h"

namespace zip {

void File::ReadAt(uint64_t pos, void* buf, size_t n, const char* what) {
    seek(pos);
    size_t got = read(buf, n);
    if (got != n)
        throw ZipError(kEof, std::string("Unexpected end of the zip file while reading ") + what + ": need " +
                                 std::to_string(n) + " bytes, found " + std::to_string(got));
}

}  // namespace zip
