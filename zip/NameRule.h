// How an archive's member names are read when they carry neither the UTF-8 flag nor a Unicode
// path field: by the host that wrote them (Auto), as the Windows character set (None), or as the
// DOS one (Oem). One setting for the engine, the component's CodePage property and the listing.
#pragma once

#include <cstdint>

#include "Records.h"

namespace zip {

enum class NameRule { Auto = 0, None = 1, Oem = 2 };

// Which hosts wrote DOS (OEM) names under Auto. The two differ for NTFS: the engine extracts
// as Info-ZIP unzip, 7-Zip and Python read such names (every FAT, HPFS and NTFS writer used
// the OEM set), while the component's listing and CodePage property keep what its List always
// showed (NTFS names as OEM only from writers of version 5.0), so that listings stay as they were.
inline bool OemByHost(uint8_t host) { return host == kHostFat || host == kHostHpfs || host == kHostNtfs; }
inline bool ListingOemByHost(NameRule rule, uint8_t host, uint8_t version) {
    return rule == NameRule::Oem ||
           (rule == NameRule::Auto && (host == kHostFat || host == kHostHpfs || (host == kHostNtfs && version == 50)));
}

}  // namespace zip
