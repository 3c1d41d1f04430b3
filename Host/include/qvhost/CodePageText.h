// Text between UTF-8 (scene files, options, reports) and the 8-bit code page that modules
// see: 1252, or the double-byte code pages 932, 936, 949 and 950.
#pragma once

#include <cstdint>
#include <string>

#include "HostExport.h"

namespace qvhost {

// Whether the host converts text of `codePage`.
QVHOST_API bool IsKnownCodePage(uint32_t codePage);
// "1252, 932, 936, 949 or 950", for messages.
QVHOST_API const char* KnownCodePages();

// `utf8` in `codePage` into `out`. A byte sequence that is not UTF-8, or a character the
// code page cannot hold, is refused: the answer is false, `out` is left as it was and
// `expected` says what was wanted ("text code page 1252 can hold (not "日")").
QVHOST_API bool ToCodePage(const std::string& utf8, uint32_t codePage, std::string& out, std::string& expected);
// The same, throwing HostError "`where`: expected ..." when refused.
QVHOST_API std::string ToCodePageOrRefuse(const std::string& utf8, uint32_t codePage, const std::string& where);

// Text of `codePage` in UTF-8 into `out`; false, `out` as it was, when a byte sequence is
// not a character of the code page (a double-byte character cut in two, say).
QVHOST_API bool FromCodePage(const std::string& text, uint32_t codePage, std::string& out);
// The same for what is only shown (reports): a byte that is not a character shows as
// U+FFFD.
QVHOST_API std::string ShownFromCodePage(const std::string& text, uint32_t codePage);
// Text of the process's code page (what modules see) as reports show it.
QVHOST_API std::string ShownText(const std::string& text);
// UTF-8 in the process's code page; HostError naming `where` when refused.
QVHOST_API std::string ToHostText(const std::string& utf8, const std::string& where);

}  // namespace qvhost
