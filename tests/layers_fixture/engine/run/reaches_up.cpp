// SPDX-License-Identifier: GPL-3.0-or-later
// A file of the classic run that reaches into the view's arithmetic: the layering test must refuse it.
#include "engine/view/plot_axis.h"
