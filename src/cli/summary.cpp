#include "summary.h"

#include <algorithm>

namespace tessaly::cli {

void SummaryReport::frame_completed(const RtcmDecoder& decoder) {
    ++per_type_[decoder.header.msg_type & 63u];
    const auto id = decoder.header.station_id;
    if (std::find(stations_.begin(), stations_.end(), id) == stations_.end()) stations_.push_back(id);
}

void SummaryReport::write(std::ostream& out, const RtcmDecoder& decoder) const {
    out << "bytes: " << bytes_ << "\n";
    out << "unused_chars: " << decoder.unused_chars << "\n";
    out << "frames: " << decoder.frames_completed << "\n";
    out << "parity_failures: " << decoder.parity_failures << "\n";
    out << "sync_losses: " << decoder.sync_losses << "\n";
    for (unsigned type = 0; type < per_type_.size(); ++type)
        if (per_type_[type]) out << "type " << type << ": " << per_type_[type] << "\n";
    out << "stations:";
    for (auto id : stations_) out << " " << id;
    out << "\n";
}

void write_ais_summary(std::ostream& out, const AisCounts& c) {
    out << "ais_sentences: " << c.sentences << "\n";
    out << "ais_checksum_failures: " << c.checksum_failures << "\n";
    out << "ais_malformed: " << c.malformed << "\n";
    out << "ais_dropped: " << c.dropped << "\n";
    out << "ais_undecoded: " << c.undecoded << "\n";
    for (unsigned type = 0; type < c.types.size(); ++type)
        if (c.types[type]) out << "ais type " << type << ": " << c.types[type] << "\n";
}

}  // namespace tessaly::cli
