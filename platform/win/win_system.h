// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace kestrix::platform {

// UTF-8 to the UTF-16 of Windows' wide-character API and back. A byte sequence that is not UTF-8
// becomes U+FFFD (so it names no file) rather than a failure: the callers open, create or remove files,
// and the name's failure is reported where it is used.
std::wstring wideFromUtf8(std::string_view strText);
std::string utf8FromWide(std::wstring_view strText);

// The errno number a Windows error code stands for (EIO for those with no closer one).
int errnoForSystemError(unsigned long lngError);

} // namespace kestrix::platform
