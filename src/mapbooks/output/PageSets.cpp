// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/output/PageSets.h"

#include "host/app/progressor.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/vb/convert.h"
#include "host/vb/error.h"
#include "mapbooks/common/SharedState.h"

namespace mapbooks {

namespace vb = host::vb;
namespace arc = ZelvneGIS_ArcMap;

CountTexts CountTextsOf(const PageLists& lists) {
  CountTexts t;
  t.search = vb::CStr(vb::CInt(double(lists.search.size())));
  t.rowColumn =
      vb::CStr(vb::CInt(double(vb::CInt(double(lists.rows.size()))) * vb::CInt(double(lists.columns.size()))));
  t.list = vb::CStr(vb::CInt(double(lists.selection.size())));
  return t;
}

PageKey Page::Key() const {
  if (const auto* text = std::get_if<std::string>(&where)) return PageKey::Oid(int64_t(vb::CDbl(*text)));
  return std::get<PageKey>(where);
}

PageSetIterator::PageSetIterator(PageSet set, const PageOrder& order, const PageLists& lists,
                                 const CountTexts& counts, host::app::StepProgressor& progress,
                                 std::string progressMessage)
    : set_(set), order_(order), lists_(lists), counts_(counts), progress_(progress),
      message_(std::move(progressMessage)) {}

void PageSetIterator::showProgress(long maximum) {
  progress_.SetMinRange(1);
  progress_.SetMaxRange(maximum);
  progress_.SetStepValue(1);
  progress_.SetPosition(1);
  progress_.SetMessage(message_);
  progress_.Show();
}

std::optional<std::string> PageSetIterator::Begin() {
  switch (set_) {
    case PageSet::CurrentMap:
      break;
    case PageSet::AllMaps: {
      long maximum = 0;
      if (order_.bySearch) maximum = long(lists_.search.size());
      if (order_.byRowColumn) maximum = vb::CInt(double(lists_.rows.size()) * double(lists_.columns.size()));
      showProgress(maximum);
      break;
    }
    case PageSet::MapsInList:
      showProgress(long(lists_.selection.size()));
      break;
    case PageSet::MapsInSelection: {
      host::carto::Map& focus = *State().Document->FocusMap();
      int64_t n = focus.SelectionCount();
      if (n < 1) return "No features selected in active data frame";
      host::carto::EnumFeature features = focus.FeatureSelection();
      features.Reset();
      showProgress(long(n));
      selectionCount_ = vb::CStr(n);
      // Features the enumeration no longer gives leave their places empty.
      oids_.assign(static_cast<size_t>(n), {});
      auto feature = features.Next();
      if (!feature || !feature->HasOID()) return "No OID field found in current selection layer";
      for (size_t k = 0; feature && k < oids_.size(); ++k) {
        oids_[k] = vb::CStr(feature->OID());
        feature = features.Next();
      }
      break;
    }
  }
  return std::nullopt;
}

std::optional<Page> PageSetIterator::Next() {
  switch (set_) {
    case PageSet::CurrentMap: {
      if (ended_) return std::nullopt;
      ended_ = true;
      Page page;
      page.name = !lists_.rowText.empty() && !lists_.columnText.empty() ? lists_.rowText + lists_.columnText
                                                                          : lists_.searchText;
      return page;
    }
    case PageSet::AllMaps:
      return nextOfAll();
    case PageSet::MapsInList:
      return nextInList();
    case PageSet::MapsInSelection:
      return nextInSelection();
  }
  return std::nullopt;
}

std::optional<Page> PageSetIterator::end() {
  if (!ended_) progress_.Hide();
  ended_ = true;
  return std::nullopt;
}

// The Search list's pages first, then the rows and columns (rows outer); a run has one
// of the two sources.
std::optional<Page> PageSetIterator::nextOfAll() {
  const long n = order_.bySearch ? long(lists_.search.size()) : 0;
  if (i_ < n) {
    long pos = position(i_++, n);
    progress_.Step();
    Page page;
    page.where = PageKey::Search(lists_.search[size_t(pos)]);
    page.name = lists_.search[size_t(pos)];
    page.widthText = counts_.search;
    page.even = pos % 2 == 0;
    page.stopsOnMissingLayer = true;
    return page;
  }
  const long rows = long(lists_.rows.size()), columns = long(lists_.columns.size());
  if (!order_.byRowColumn || columns == 0 || i_ - n >= rows) return end();
  long row_pos = position(i_ - n, rows);
  const std::string& row = lists_.rows[size_t(row_pos)];
  const std::string& column = lists_.columns[size_t(position(column_, columns))];
  if (++column_ == columns) {
    column_ = 0;
    ++i_;
  }
  progress_.Step();
  Page page;
  page.where = PageKey::RowColumn(row, column);
  page.name = row + column;
  page.widthText = counts_.rowColumn;
  page.even = row_pos % 2 == 0;
  return page;
}

// One page per grid feature of each selected row's value; the parity is the row's.
std::optional<Page> PageSetIterator::nextInList() {
  const long n = long(lists_.selection.size());
  for (;;) {
    if (cursor_) {
      if (auto feature = cursor_->NextFeature()) {
        ++feature_;
        const std::string& value = lists_.selection[size_t(rowPosition_)].text;
        Page page;
        page.where = PageKey::Oid(feature->OID());
        page.name = value;
        page.widthText = counts_.list;
        page.even = rowPosition_ % 2 == 0;
        if (feature_ >= 2) page.featureSuffix = "_" + std::to_string(feature_);
        return page;
      }
      cursor_.reset();
      grid_.reset();
    }
    if (i_ >= n) return end();
    rowPosition_ = position(i_++, n);
    progress_.Step();
    const PageLists::Row& row = lists_.selection[size_t(rowPosition_)];
    if (!row.selected) continue;
    // The grid layer of the focus map of the moment: the frame the last page left.
    grid_ = arc::GetLayerByName(State().Config[ActiveLayerName]);
    std::string quoted = row.text;
    cursor_ = arc::GetFeatureCursorByValue(grid_.get(), lists_.selectionField, quoted);
    if (!cursor_) vb::raise(vb::err::ObjectNotSet);
    feature_ = 0;
  }
}

std::optional<Page> PageSetIterator::nextInSelection() {
  const long n = long(oids_.size());
  if (i_ >= n) return end();
  long pos = position(i_++, n);
  progress_.Step();
  const std::string& key = oids_[size_t(pos)];
  // Two selected features of one object ID show the same tile; their files get a
  // number so that neither replaces the other.
  int repeat = ++seen_[key];
  Page page;
  page.where = key;
  page.name = repeat > 1 ? key + "_" + std::to_string(repeat) : key;
  page.widthText = selectionCount_;
  page.even = pos % 2 == 0;
  return page;
}

}  // namespace mapbooks
