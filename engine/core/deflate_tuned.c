/* libdeflate's compressor, compiled with the engine: the same code, plus one way in that sets
 * the match search (and for the near-optimal parser of levels 10-12 the number of optimisation
 * passes) directly instead of through the level alone, so that each kind of data gets the search
 * that pays for it. */
#include "lib/deflate_compress.c"

struct libdeflate_compressor* zc_alloc_tuned_compressor(int level, int depth, int nice, int passes) {
    struct libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    if (!c || level < 2) return c;
    if (depth > 0) c->max_search_depth = (unsigned)depth;
    if (nice >= DEFLATE_MIN_MATCH_LEN && nice <= DEFLATE_MAX_MATCH_LEN) c->nice_match_length = (unsigned)nice;
    if (passes > 0 && level >= 10) c->p.n.num_optim_passes = (unsigned)passes;
    return c;
}
