// The inflater of the portable PNG decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pictra::host::portable {

// The image data inflated as zlib inflates it for libspng, which feeds it
// one IDAT chunk at a time and stops asking for output once the rows are
// complete. Until then every error refuses the file, and so does running out
// of the chunks it may read. From then on zlib goes on through what is left
// of the chunk the rows ended in for as long as that writes nothing: a
// literal or a copy ends it (a copy only after its distance code), as does
// the end of that chunk; block headers, code tables and the Adler-32 trailer
// met on the way are checked. stb checks none of this and gives up a few
// bits before its input ends, so the rows are inflated here and stb is
// handed them as a stored stream.
//
// `ends`: where each IDAT chunk's data ends in `data`; `rows` is sized to
// the bytes the rows take. True when libspng would have the rows; `rows`
// then holds them.
bool inflatePngRows(std::span<const uint8_t> data, std::span<const std::size_t> ends,
                    std::vector<uint8_t>& rows);

}  // namespace pictra::host::portable
