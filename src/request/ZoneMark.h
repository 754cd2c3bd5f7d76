// The Mark of the Web on extracted copies. Windows records where a file came from in its
// "Zone.Identifier" stream ("[ZoneTransfer]" with "ZoneId=3" for the Internet zone, often with
// "ReferrerUrl" and "HostUrl"); Office's Protected View, SmartScreen and the help viewer's limits key
// on it. A copy extracted from an archive must be judged as the archive would be, so it carries
// the more careful of the archive's own stream and the zone of the place it lies in, as the
// platform's zone manager maps it (a file server is the Intranet or the Internet, as in the shell).
//
// Zones (URLZONE_*): 0 Local Machine, 1 Local Intranet, 2 Trusted Sites, 3 Internet, 4 Restricted.
// A copy without the stream counts as Local Machine, the most trusted zone, so every other zone is
// written, Trusted included: dropping it would raise the copy above the zone the administrator
// chose. Only where the lost mark would hand a file from the Internet or a Restricted site the
// rights of a local file is a copy that cannot carry its mark refused.
//
// Under Wine an alternate stream is an ordinary file named "<name>:Zone.Identifier" beside the copy.
#pragma once

#include <string>

struct ZoneMark {
    std::string content;    // the stream for the copy; empty when the archive is local and unmarked
    bool required = false;  // the copy must not be opened without it: Internet, Restricted, or unknown
};

// What copies of the archive at path carry: the most careful (highest) of the zone of its
// Zone.Identifier stream and the zone its location maps to. The archive's stream as it is when its
// ZoneId is that zone; otherwise a fresh "[ZoneTransfer]\r\nZoneId=N\r\n" (keeping the stream's
// ReferrerUrl and HostUrl lines), nothing for the Local Machine zone. A stream that exists but is
// empty or names no usable ZoneId, one that may be there but cannot be read (access denied, in use,
// a path too long for it), and a location the zone manager cannot map, count as the Internet zone. Runs on
// a thread with COM initialised (a request's worker is a single-threaded apartment).
ZoneMark zoneMarkOf(const std::string& path);

// Writes mark onto the Zone.Identifier stream of the file at path, replacing any there. True when
// written, or when there is nothing to write.
bool writeZoneMark(const std::string& path, const ZoneMark& mark);
