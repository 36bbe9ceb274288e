// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The location index wizard: a search layer's labels against the grid tiles they fall
// in, written as a text file, a tab-delimited table or text elements on the page.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class frmIndex : public host::ui::Form {
 public:
  frmIndex();

  host::ui::Frame Frame1{*this, "Frame1", nullptr};
  host::ui::Frame Frame2{*this, "Frame2", &Frame1};
  host::ui::Label lblSearchHint{*this, "lblSearchHint", &Frame2};
  host::ui::Label lblSearchLayers{*this, "lblSearchLayers", &Frame2};
  host::ui::ComboBox cboSearchLayers{*this, "cboSearchLayers", &Frame2};
  host::ui::Label lblSearchLayerFields{*this, "lblSearchLayerFields", &Frame2};
  host::ui::ComboBox cboSearchLayerFields{*this, "cboSearchLayerFields", &Frame2};
  host::ui::Label lblGridHint{*this, "lblGridHint", &Frame2};
  host::ui::Label lblMapLayers{*this, "lblMapLayers", &Frame2};
  host::ui::ComboBox cboMapLayers{*this, "cboMapLayers", &Frame2};
  host::ui::Label lblLayerFields{*this, "lblLayerFields", &Frame2};
  host::ui::ComboBox cboLayerFields{*this, "cboLayerFields", &Frame2};
  host::ui::Frame Frame3{*this, "Frame3", &Frame1};
  host::ui::OptionButton optText{*this, "optText", &Frame3};
  host::ui::OptionButton optTable{*this, "optTable", &Frame3};
  host::ui::OptionButton optElement{*this, "optElement", &Frame3};
  host::ui::Label lblNum{*this, "lblNum", &Frame3};
  host::ui::TextBox txtNum{*this, "txtNum", &Frame3};
  host::ui::CommandButton btnNext{*this, "btnNext", nullptr};
  host::ui::CommandButton btnCancel{*this, "btnCancel", nullptr};
  // The index lines, sorted; never shown.
  host::ui::ListBox lstOut{*this, "lstOut", nullptr};

 protected:
  void Design() override;
  void Form_Load() override;

 private:
  void cboMapLayers_Click();
  void cboSearchLayers_Click();
  void btnNext_Click();
  void btnCancel_Click();
  // A file of the program folder, its lines, and what the box says once it is written.
  struct Output {
    std::string fileName;
    std::vector<std::string> lines;
    std::string message;
  };
  // Writes the files, each whole, and says so for each.
  void WriteOutputs(const std::vector<Output>& outputs);
  // The index lines as columns of text elements on the page layout.
  void AddMapElements(int16_t columns);
  // A handler whose failure puts the pointer back before the report.
  void GuardPointer(const char* procedure, const std::function<void()>& body);
};

}  // namespace mapbooks
