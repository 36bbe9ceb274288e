// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's map document: maps, layers, symbols, labels, the page layout and its
// elements, views, and the document and layer files.

#include "host/carto/document.h"
#include "host/carto/document_file.h"
#include "host/carto/elements.h"
#include "host/carto/labels.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/carto/symbols.h"
#include "host/carto/units.h"
#include "host/carto/view.h"
