// How an archive's member names are read when they carry neither the UTF-8 flag nor a Unicode
// path field: by the host that wrote them (Auto), as the Windows character set (None), or as the
// DOS one (Oem). One setting for the engine, the component's CodePage property and the listing.
#pragma once

namespace zip {

enum class NameRule { Auto = 0, None = 1, Oem = 2 };

}  // namespace zip
