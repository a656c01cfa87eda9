#pragma once
// Where tessaly-decode reads its bytes from: a file, standard input, or a
// TCP connection read until the peer closes it.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tessaly::cli {

using ChunkSink = std::function<void(std::span<const std::uint8_t>)>;

// Reads the whole source, handing every chunk to `sink` in order. Returns
// an empty text on success, otherwise one line naming the cause.
std::string read_source(const std::string& source, const ChunkSink& sink);

}  // namespace tessaly::cli
