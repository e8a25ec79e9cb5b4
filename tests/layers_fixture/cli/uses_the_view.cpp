// SPDX-License-Identifier: GPL-3.0-or-later
// The batch must not use the view's arithmetic either.
#include "engine/view/readable_number.h"
