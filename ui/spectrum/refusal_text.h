// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/failure.h"
#include "platform/sample_stream.h"

#include <QString>

#include <string>

class KestrixError;

// The engine's refusals of a recording worded for the view's user, from their facts.
namespace kestrix::ui {

// Why a recording was refused, in the view's language: the line, the field and the text named, and a
// decimal comma said so. A refusal without facts (the sound library's own reason) is quoted as given.
QString refusalText(const platform::RefusalFacts& facts);

// A file that could not be written: strHeadline, the path, then the failure's number and description.
QString saveFailureText(const QString& strHeadline, const std::string& strPath, const KestrixError& failure);
// A failure as the view shows it below what failed: its number and its description ("75: ...").
QString failureText(const KestrixError& failure);

} // namespace kestrix::ui
