// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/detail/gdal.h"

#include <cpl_error.h>
#include <gdal.h>

#include <mutex>

namespace host::geodata::detail {

void EnsureGdal() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
}

QuietGdal::QuietGdal() {
  EnsureGdal();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  CPLErrorReset();
}

QuietGdal::~QuietGdal() { CPLPopErrorHandler(); }

std::string QuietGdal::LastMessage() {
  const char* msg = CPLGetLastErrorMsg();
  return msg ? msg : "";
}

}  // namespace host::geodata::detail
