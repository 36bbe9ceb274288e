// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's vector data: geometry values, fields, filters, tables and feature classes,
// joins, selection sets and the shapefile workspace.

#include "host/geodata/feature_class.h"
#include "host/geodata/field.h"
#include "host/geodata/filter.h"
#include "host/geodata/geometry.h"
#include "host/geodata/joined_table.h"
#include "host/geodata/projection.h"
#include "host/geodata/table.h"
#include "host/geodata/workspace.h"
