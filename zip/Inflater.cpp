#include "Inflater.h"

#include <zlib.h>

#include "Errors.h"

namespace zip {

StreamInflater::StreamInflater() : z_(new z_stream_s{}) {
    if (inflateInit2(z_.get(), -15) != Z_OK) throw ZipError(kMemory, "Out of memory for the decompressor");
}

StreamInflater::~StreamInflater() { inflateEnd(z_.get()); }

bool StreamInflater::Feed(const uint8_t* in, size_t n, size_t& consumed, std::vector<uint8_t>& out, size_t maxOut) {
    consumed = 0;
    if (done_) return true;
    z_->next_in = const_cast<Bytef*>(in);
    z_->avail_in = uInt(n);
    size_t base = out.size();
    out.resize(base + maxOut);
    z_->next_out = out.data() + base;
    z_->avail_out = uInt(maxOut);
    int rc = inflate(z_.get(), Z_NO_FLUSH);
    out.resize(base + (maxOut - z_->avail_out));
    consumed = n - z_->avail_in;
    if (rc == Z_STREAM_END) {
        done_ = true;
        return true;
    }
    if (rc == Z_OK) return true;
    if (rc == Z_BUF_ERROR) return true;  // no progress possible with this input: caller gives more
    err_ = z_->msg ? z_->msg : "invalid compressed data";
    return false;
}

}  // namespace zip
