// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A form with controls of every kind, whose handlers write what they hear into a log.

#include <QBuffer>
#include <QImage>

#include <string>
#include <vector>

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace gui_test {

using namespace host::ui;

// A 30 x 20 PNG, red.
inline std::string RedPng() {
  QImage image(30, 20, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 0));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

class frmSample : public Form {
 public:
  frmSample() : Form("frmSample") {
    btnOK.Click = [this] { log.push_back("OK"); };
    btnCancel.Click = [this] { log.push_back("Cancel"); };
    lblLink.Click = [this] { log.push_back("link"); };
    chkFlag.Click = [this] { log.push_back("flag " + std::to_string(chkFlag.Value())); };
    optA.Click = [this] { log.push_back("A"); };
    optB.Click = [this] { log.push_back("B"); };
    // A number box: letters are refused as they are typed.
    txtNumber.KeyPress = [](int& key) {
      if (key != vbKeyBack && (key < '0' || key > '9')) key = 0;
    };
    txtNumber.LostFocus = [this] { log.push_back("left number"); };
    cboKind.Click = [this] { log.push_back("kind " + cboKind.Text()); };
    lstItems.Click = [this] { log.push_back("item " + std::to_string(lstItems.ListIndex())); };
    lstItems.DblClick = [this] { log.push_back("double " + std::to_string(lstItems.ListIndex())); };
    vsbScroll.Change = [this] { log.push_back("scroll " + std::to_string(vsbScroll.Value())); };
    tabMain.Click = [this](int& previous) { log.push_back("tab from " + std::to_string(previous)); };
  }

  void Form_QueryUnload(int& cancel, int mode) override {
    log.push_back("query unload " + std::to_string(mode));
    cancel = refuse_to_close ? 1 : 0;
  }

  void Design() override {
    SetCaption("Sample");
    Move(0, 0, 9120, 7530);  // a client area of 9000 x 7020 twips: 600 x 468 pixels
    lblName.Move(120, 120, 1200, 255);
    lblName.SetCaption("Number:");
    txtNumber.Move(1500, 120, 1200, 315);
    lblLink.Move(3000, 120, 1200, 255);
    lblLink.SetCaption("www.example");
    btnOK.Move(7500, 120, 1215, 375);
    btnOK.SetCaption("OK");
    btnOK.SetDefault(true);
    btnCancel.Move(7500, 600, 1215, 375);
    btnCancel.SetCaption("Cancel");
    btnCancel.SetCancel(true);
    chkFlag.Move(120, 600, 2000, 255);
    chkFlag.SetCaption("Flag");
    fraChoice.Move(120, 1050, 3000, 1200);
    fraChoice.SetCaption("Choice");
    optA.Move(150, 300, 1500, 255);
    optA.SetCaption("A");
    optB.Move(150, 660, 1500, 255);
    optB.SetCaption("B");
    cboKind.Move(3300, 1050, 1800, 315);
    for (const char* s : {"Line", "Point", "Polygon"}) cboKind.AddItem(s);
    cboFree.Move(3300, 1500, 1800, 315);
    cboFree.AddItem("one");
    lstItems.Move(5400, 1050, 1800, 1200);
    lstItems.SetMultiSelect(ListBox::Simple);
    for (const char* s : {"alpha", "beta", "gamma"}) lstItems.AddItem(s);
    static const Picture red = MakePicture("", RedPng(), 450, 300);
    picLogo.Move(7500, 1050, 900, 900);
    picLogo.SetPicture(red);
    vsbScroll.Move(8600, 1050, 255, 1800);
    vsbScroll.SetMax(100);
    vsbScroll.SetSmallChange(5);
    tabMain.Move(120, 2400, 8000, 4000);
    tabMain.SetTabs(3);
    for (int i = 0; i < 3; ++i) tabMain.SetTabCaption(i, "Page " + std::to_string(i + 1));
    txtOnPage2.Move(600, 900, 1500, 315);
    txtOnPage2.SetTabPage(1);
    dirFolders.Move(2400, 600, 2400, 1800);
    dirFolders.SetTabPage(0);
    drvDrives.Move(5000, 600, 2400, 315);
    drvDrives.SetTabPage(0);
    filFiles.Move(5000, 1200, 2400, 1200);
    filFiles.SetTabPage(0);
  }

  std::vector<std::string> log;
  bool refuse_to_close = false;

  Label lblName{*this, "lblName", nullptr};
  TextBox txtNumber{*this, "txtNumber", nullptr};
  Label lblLink{*this, "lblLink", nullptr};
  CommandButton btnOK{*this, "btnOK", nullptr};
  CommandButton btnCancel{*this, "btnCancel", nullptr};
  CheckBox chkFlag{*this, "chkFlag", nullptr};
  Frame fraChoice{*this, "fraChoice", nullptr};
  OptionButton optA{*this, "optA", &fraChoice};
  OptionButton optB{*this, "optB", &fraChoice};
  ComboBox cboKind{*this, "cboKind", nullptr, ComboBox::DropdownList};
  ComboBox cboFree{*this, "cboFree", nullptr, ComboBox::DropdownCombo};
  ListBox lstItems{*this, "lstItems", nullptr};
  PictureBox picLogo{*this, "picLogo", nullptr};
  VScrollBar vsbScroll{*this, "vsbScroll", nullptr};
  TabControl tabMain{*this, "tabMain", nullptr};
  TextBox txtOnPage2{*this, "txtOnPage2", &tabMain};
  DirListBox dirFolders{*this, "dirFolders", &tabMain};
  DriveListBox drvDrives{*this, "drvDrives", &tabMain};
  FileListBox filFiles{*this, "filFiles", &tabMain};
};

}  // namespace gui_test
