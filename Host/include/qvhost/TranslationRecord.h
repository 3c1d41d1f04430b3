// The reference host's character translation record: identity tables with a few
// replacements, so that both directions and both replacement lists are exercised.
#pragma once

#include "HostExport.h"
#include "QVString.h"

namespace qvhost {

// Table 0 (file text to host text): 0x80 -> 0xA4, 0x81 dropped, 0x85 -> "...",
// 0x99 -> "(TM)", 0x8D listed without an entry (dropped).
// Table 1 (host text to file text): 0xA4 -> 0x80, 0x7F dropped, 0xA9 -> "(c)",
// 0xBC -> "1/4", 0x8F listed without an entry (dropped). Every other byte stays itself.
QVHOST_API const QVTranslationRecord& DefaultTranslationRecord();

}  // namespace qvhost
