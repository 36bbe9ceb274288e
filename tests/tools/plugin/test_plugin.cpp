// SPDX-License-Identifier: GPL-3.0-or-later
// A small command plug-in that the host's tests register, create and click: it shows a
// window modelessly, asks questions, opens a modal dialog and shuts the host down.

#include <memory>
#include <string>

#include "host/app/application.h"
#include "host/app/command.h"
#include "host/app/registry.h"
#include "host/ui/boxes.h"
#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "host/win/system.h"

using namespace host;

namespace {

const char* const kClassId = "{5A0C2B1E-7C11-4E55-9A51-000000000001}";
int g_instances = 0;
int g_clicks = 0;

class frmDialog : public ui::Form {
 public:
  frmDialog() : Form("frmDialog") {
    btnOK.Click = [this] { Unload(); };
  }
  void Design() override {
    SetCaption("Dialog");
    btnOK.SetCaption("OK");
    btnOK.SetDefault(true);
  }
  ui::TextBox txtValue{*this, "txtValue", nullptr};
  ui::CommandButton btnOK{*this, "btnOK", nullptr};
};

class frmTest : public ui::Form {
 public:
  frmTest() : Form("frmTest") {
    btnHello.Click = [this] {
      auto answer = ui::MsgBox("Hello, " + txtName.Text() + "\r\nIs that right?", ui::vbYesNo);
      lblAnswer.SetCaption(answer == ui::vbYes ? "yes" : "no");
    };
    btnAsk.Click = [this] { txtName.SetText(ui::InputBox("Your name?")); };
    btnDialog.Click = [this] {
      frmDialog dialog;
      dialog.Load();
      dialog.txtValue.SetText(txtName.Text());
      dialog.Show(ui::vbModal);
      txtName.SetText(value_from_dialog(dialog));
    };
    btnQuit.Click = [] {
      app::Application* app = app::Application::Running();
      app->SetDocumentChanged(true);
      app->Shutdown();
      win::SendKeys("n");
    };
  }
  static std::string value_from_dialog(frmDialog& d) { return d.txtValue.Text(); }
  void Design() override {
    SetCaption("Test window");
    lstItems.SetSorted(true);
    lstItems.SetMultiSelect(ui::ListBox::Simple);
    for (const char* s : {"beta", "Gamma", "Alpha"}) lstItems.AddItem(s);
    cboPick.AddItem("one");
    cboPick.AddItem("two");
  }
  void Form_Unload(int&) override { ++unloads; }
  int unloads = 0;
  ui::TextBox txtName{*this, "txtName", nullptr};
  ui::Label lblAnswer{*this, "lblAnswer", nullptr};
  ui::CommandButton btnHello{*this, "btnHello", nullptr};
  ui::CommandButton btnAsk{*this, "btnAsk", nullptr};
  ui::CommandButton btnDialog{*this, "btnDialog", nullptr};
  ui::CommandButton btnQuit{*this, "btnQuit", nullptr};
  ui::CheckBox chkFlag{*this, "chkFlag", nullptr};
  ui::ListBox lstItems{*this, "lstItems", nullptr};
  ui::ComboBox cboPick{*this, "cboPick", nullptr};
};

class TestCommand : public app::ICommand {
 public:
  TestCommand() { ++g_instances; }
  ~TestCommand() override { --g_instances; }
  bool Enabled() override { return true; }
  bool Checked() override { return false; }
  std::string Name() override { return "TestGIS_TestCommand"; }
  std::string Caption() override { return "Test command"; }
  std::string Tooltip() override { return "Test command"; }
  std::string Message() override { return "A command for tests"; }
  std::string HelpFile() override { return ""; }
  long HelpContextID() override { return 0; }
  long Bitmap() override { return 0; }
  std::string Category() override { return "TestGIS"; }
  void OnCreate(app::Application& hook) override { app_ = &hook; }
  void OnClick() override {
    ++g_clicks;
    if (!frame_.GetForm()) frame_.Create(window_);
    frame_.SetCaption("Test");
    frame_.SetVisible(true);
  }

 private:
  app::Application* app_ = nullptr;
  frmTest window_;
  ui::ModelessFrame frame_;
};

class Factory : public app::ClassFactory {
 public:
  std::unique_ptr<app::ICommand> CreateInstance() override { return std::make_unique<TestCommand>(); }
};

}  // namespace

extern "C" {
int DllRegisterServer() {
  app::RegisterCommandClass(kClassId, "TestGIS_TestCommand", "TestGIS", reinterpret_cast<const void*>(&DllRegisterServer));
  return app::S_OK;
}
int DllUnregisterServer() {
  app::UnregisterCommandClass(kClassId);
  return app::S_OK;
}
int DllGetClassObject(const char* classId, void** factory) {
  static Factory f;
  if (std::string(classId) != kClassId) return app::CLASS_E_CLASSNOTAVAILABLE;
  *factory = &f;
  return app::S_OK;
}
int DllCanUnloadNow() { return g_instances == 0 ? app::S_OK : app::S_FALSE; }
// For the in-process tests.
int TestPluginClicks() { return g_clicks; }
}
