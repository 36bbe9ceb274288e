// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state every window and module of the command shares: identity, the program
// folder and its subfolders, the application and its document, the active layer,
// the settings record.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/app/application.h"
#include "mapbooks/common/IMainWindow.h"

namespace host::carto {
class Document;
class FeatureLayer;
}  // namespace host::carto
namespace host::geodata {
class Table;
}

namespace mapbooks {


// Where the support mail and the web site of the product live: one domain for both.
inline constexpr const char* kContactDomain = "zelvanegis.example";
std::string SupportMailAddress();  // "support@zelvanegis.example"
std::string WebSiteAddress();      // "http://www.zelvanegis.example"

// The settings items, numbered 1 to 42 in file order.
enum ConfigItem {
  BatchCommand = 1, GridsFolder, ExportFolder, ActiveLayerName, SearchField, RowField, ColumnField,
  ReservedItem, PrimaryDataFrame, PrintAll, PrintUseSearch, PrintUseRowCol, PrintSome, PrintCurrent,
  ExportFormat, Resolution, FileName, AppendValues, AppendNumber, ZeroFill, OutputDir, ExportAll,
  ExpUseSearch, ExpUseRowCol, ExpSelection, ExpCurrent, PrintQueryField, Reverse, EvenPages, OddPages,
  Exclude, ExcludeAll, ExcludeLayer, ExcludeLayerName, LayerFrameScale, LayerFixedScale, SetScale,
  LayerFeatureExtent, LayerPercent, RefreshDelay, XDiff, YDiff,
};
inline constexpr int kConfigItemCount = 42;

struct ConfigRecord {
  std::array<std::string, kConfigItemCount + 1> items;  // [1] to [42]
  // The names of the data frames every page change zooms. After a read it holds one
  // slot more than the values read, the last one empty.
  std::vector<std::string> DataFramesToZoom;

  std::string& operator[](ConfigItem i) { return items[size_t(i)]; }
  const std::string& operator[](ConfigItem i) const { return items[size_t(i)]; }
};

// What the manual grid pages hand on to the build.
struct ManualGridRecord {
  double X = 0, Y = 0, GridHeight = 0, GridWidth = 0;
  int16_t VerticalNumber = 0, HorizontalNumber = 0;
  double TileHeight = 0, TileWidth = 0;
  int16_t TotalTiles = 0;
};

// What the automatic grid pages hand on to the build.
struct AutomaticGridRecord {
  double X = 0, Y = 0, GridHeight = 0, GridWidth = 0;
  int32_t VerticalNumber = 0, HorizontalNumber = 0;
  double TileHeight = 0, TileWidth = 0;
};

struct SharedState {
  SharedState() = default;
  SharedState(const SharedState&) = delete;
  SharedState& operator=(const SharedState&) = delete;

  // The settings record; the Grids and Export folders are its items 2 and 3.
  ConfigRecord Config;
  std::unique_ptr<IMainWindow> MainWindow;
  std::string CompanyName;
  std::string ProductName;
  std::string VersionText;
  std::string ProgramFolder;  // ends with "\"
  std::string ConfigPath;
  std::string BinFolder;
  std::string& GridsFolder = Config[ConfigItem::GridsFolder];
  std::string& ExportFolder = Config[ConfigItem::ExportFolder];
  std::string MapbooksFolder;
  std::string NullMarker;
  bool ConfigCreated = false;
  std::unique_ptr<host::app::AppRef> AppRef;
  host::app::Application* Application = nullptr;
  host::carto::Document* Document = nullptr;
  std::shared_ptr<host::carto::FeatureLayer> ActiveLayer;
  std::shared_ptr<host::geodata::Table> ActiveLayerFeatureClass;  // as the map shows it
  bool ActiveLayerFound = false;
  int32_t PrimaryDataFrameIndex = 0;
  ManualGridRecord ManualGrid;
  AutomaticGridRecord AutomaticGrid;
};

// Looks the active layer up by settings item 4: the found flag, the layer and its
// feature class (which stays as it was when no layer is found).
void FindActiveLayer();

// The one instance, shared by every window and module.
SharedState& State();
// Back to a program just loaded (tests load the program many times in one process); the
// windows go without unloading, so nothing is saved.
void ResetState();

}  // namespace mapbooks
