// Streaming raw inflate with zlib: a member's data decoded piece by piece, whatever its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct z_stream_s;

namespace zip {

class StreamInflater {
public:
    StreamInflater();
    ~StreamInflater();
    StreamInflater(const StreamInflater&) = delete;
    StreamInflater& operator=(const StreamInflater&) = delete;
    // Consumes input, appends at most maxOut bytes of output. Returns false on corrupt data
    // (text in Error()). Finished() turns true at the end of the deflate stream.
    bool Feed(const uint8_t* in, size_t n, size_t& consumed, std::vector<uint8_t>& out, size_t maxOut);
    bool Finished() const { return done_; }
    const char* Error() const { return err_; }

private:
    std::unique_ptr<z_stream_s> z_;
    bool done_ = false;
    const char* err_ = "";
};

}  // namespace zip
