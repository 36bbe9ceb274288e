// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The front end lives beside the host, not in it; its code names the host's modules by
// their short names, as the host's own code does.

namespace host::app {}
namespace host::carto {}
namespace host::geodata {}
namespace host::render {}
namespace host::ui {}
namespace host::vb {}
namespace host::win {}

namespace gui {
namespace app = host::app;
namespace carto = host::carto;
namespace geodata = host::geodata;
namespace render = host::render;
namespace ui = host::ui;
namespace vb = host::vb;
namespace win = host::win;
}  // namespace gui
