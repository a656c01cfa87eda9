#pragma once
// A caster's sourcetable: semicolon-separated records, STR (a mountpoint),
// CAS (a caster) and NET (a network), ended by ENDSOURCETABLE. Fields may be
// empty and lines longer or shorter than the documented list; missing
// fields read as empty or zero, extra ones are kept in `misc`.

#include <string>
#include <string_view>
#include <vector>

namespace tessaly::ntrip {

struct StreamRecord {
    std::string mountpoint;
    std::string identifier;
    std::string format;          // e.g. "RTCM 2.3"
    std::string format_details;  // e.g. "1(1),3(10)": type(interval in s)
    int carrier = 0;             // 0 none, 1 L1, 2 L1+L2
    std::string nav_system;      // e.g. "GPS+GLO"
    std::string network;
    std::string country;  // ISO 3166 three-letter code
    double latitude = 0;
    double longitude = 0;
    bool nmea = false;  // the caster wants the client's position (GGA)
    int solution = 0;   // 0 single base, 1 network
    std::string generator;
    std::string compression;
    std::string authentication;  // N none, B basic, D digest
    std::string fee;             // N or Y
    int bitrate = 0;
    std::string misc;

    bool is_rtcm2() const;  // the format this monitor decodes
};

struct CasterRecord {
    std::string host;
    int port = 0;
    std::string identifier;
    std::string operator_name;
    bool nmea = false;
    std::string country;
    double latitude = 0;
    double longitude = 0;
    std::string misc;  // fallback host and port, and anything after
};

struct NetworkRecord {
    std::string identifier;
    std::string operator_name;
    std::string authentication;
    std::string fee;
    std::string web;
    std::string misc;
};

struct Sourcetable {
    std::vector<StreamRecord> streams;
    std::vector<CasterRecord> casters;
    std::vector<NetworkRecord> networks;
    bool complete = false;  // ENDSOURCETABLE was seen
};

Sourcetable parse_sourcetable(std::string_view text);

// The mountpoints in the order a picker shows them: RTCM 2 ones first,
// otherwise in the caster's order.
std::vector<StreamRecord> rtcm2_first(std::vector<StreamRecord> streams);

}  // namespace tessaly::ntrip
