// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>

// The fields of the lines the analyses of recordings write (headings, name,value,unit tables).
namespace kestrix::engine {

// A field as CSV writes it: as it is, or in double quotes (each quote doubled) where it holds a comma,
// a quote, a CR or an LF.
std::string csvField(std::string_view strText);

// The fields joined by commas, each as csvField writes it, without a line end.
std::string csvLine(std::span<const std::string> strFields);

} // namespace kestrix::engine
