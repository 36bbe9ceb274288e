// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/app/application.h"

#include <cctype>

#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/ui/boxes.h"
#include "host/ui/controls.h"
#include "host/ui/event.h"
#include "host/ui/form.h"
#include "host/vb/error.h"
#include "host/win/drives.h"
#include "host/win/system.h"

namespace host::app {

namespace {
Application* g_running = nullptr;
constexpr int kAutomationError = 429;
}  // namespace

Application::Application() : document_(std::make_unique<carto::Document>()) {
  if (g_running) vb::raise(vb::err::HostFailure, "A host application is already running in this process");
  g_running = this;
  document_->SetParent(this);
  win::EnsureProgramFiles();
  win::SetKeystrokeSink([this](const std::string& keys) { ReceiveKeys(keys); });
}

Application::~Application() {
  try {
    End();
  } catch (...) {
    // A window that fails as it closes does not stop the host from ending.
  }
  win::SetKeystrokeSink(nullptr);
  g_running = nullptr;
}

void Application::End() {
  if (released_) return;
  // What the commands left running ends while its windows and boxes can still tell of it.
  FinishBackgroundWork();
  released_ = true;
  ui::UnloadAllForms();
  // The commands go before the document they may hold parts of, and both before the
  // static objects of the host and of the plug-ins are destroyed at exit.
  commands_.clear();
  document_->SetParent(nullptr);
  document_ = std::make_unique<carto::Document>();
  document_->SetParent(this);
  geodata::ShapefileWorkspace::ClearCache();
}

void Application::OpenDocument(const std::string& path) {
  std::unique_ptr<carto::Document> opened = carto::Document::Open(path);
  opened->SetParent(this);
  document_->SetParent(nullptr);
  document_ = std::move(opened);
  caption_ = document_->Title() + " - " + name_;
  // Said once here; such a layer then draws nothing, without a word at every drawing.
  for (int i = 0; i < document_->MapCount(); ++i)
    for (const auto& layer : document_->Map(i)->AllFeatureLayers())
      if (std::string problem = layer->ProjectionProblem(); !problem.empty())
        ui::MsgBox(problem, ui::vbOKOnly | ui::vbExclamation, name_);
}

void Application::SaveDocument(const std::string& path) {
  if (path.empty())
    document_->Save();
  else
    document_->Save(path);
  caption_ = document_->Title() + " - " + name_;
}

bool Application::DocumentChanged() const { return document_->Changed(); }
void Application::SetDocumentChanged(bool v) { document_->SetChanged(v); }

Application* Application::Running() { return g_running; }

void Application::CreateCommands() {
  for (const CommandClassEntry& entry : RegisteredCommands()) CreateCommand(entry);
}

ICommand& Application::CreateCommand(const CommandClassEntry& entry) {
  ClassFactory* factory = PluginLibrary::Load(entry.library).GetClassObject(entry.classId);
  std::unique_ptr<ICommand> command = factory->CreateInstance();
  if (!command) vb::raise(vb::err::HostFailure, "The class " + entry.classId + " could not be created");
  ICommand& ref = *command;
  commands_.push_back({entry, std::move(command)});
  ui::RunHandler([&] { ref.OnCreate(*this); });
  return ref;
}

ICommand* Application::FindCommand(const std::string& name) const {
  for (const Created& c : commands_)
    if (c.command->Name() == name) return c.command.get();
  return nullptr;
}

std::vector<ICommand*> Application::Commands() const {
  std::vector<ICommand*> r;
  for (const Created& c : commands_) r.push_back(c.command.get());
  return r;
}

void Application::Click(ICommand& command) {
  if (!command.Enabled()) return;
  ui::RunHandler([&] { command.OnClick(); });
}

void Application::Shutdown() { shutdown_requested_ = true; }

void Application::ReceiveKeys(const std::string& keys) {
  if (shutdown_requested_) {
    pending_keys_ += keys;  // for the save question to come
    return;
  }
  ui::Form* form = ui::ActiveForm();
  ui::Control* target = form ? form->ActiveControl() : nullptr;
  if (auto* text = dynamic_cast<ui::TextBox*>(target)) text->type(keys);
}

bool Application::ProcessShutdown() {
  if (!shutdown_requested_ || ended_) return ended_;
  shutdown_requested_ = false;
  if (DocumentChanged()) {
    const std::string question = "Save changes to " + document_->Title() + "?";
    const int style = ui::vbYesNoCancel | ui::vbExclamation;
    ui::MsgBoxResult answer;
    if (!pending_keys_.empty()) {
      // The keys waiting in the window's queue answer the question as it opens.
      char key = char(std::tolower(static_cast<unsigned char>(pending_keys_[0])));
      pending_keys_.erase(0, 1);
      answer = key == 'y' ? ui::vbYes : key == 'n' ? ui::vbNo : ui::vbCancel;
      ui::RecordAnsweredBox(question, style, answer);
    } else {
      answer = ui::MsgBox(question, style);
    }
    if (answer == ui::vbCancel) {
      pending_keys_.clear();
      return false;
    }
    if (answer == ui::vbYes) {
      std::string path;
      if (document_->FilePath().empty()) {
        path = ui::InputBox("Save the map document as:", name_);
        if (path.empty()) {
          pending_keys_.clear();
          return false;
        }
      }
      try {
        SaveDocument(path);
      } catch (const vb::Error& e) {
        // Nothing is lost: the host stays with the document.
        ui::MsgBox(e.description(), ui::vbOKOnly | ui::vbCritical, name_);
        pending_keys_.clear();
        return false;
      }
    }
  }
  pending_keys_.clear();
  // A program a command started is waited for, and its failure told, before the host goes.
  FinishBackgroundWork();
  // Every window closes with the host, newest first.
  ui::UnloadAllForms();
  ended_ = true;
  return true;
}

void Application::AddBackgroundWork(const std::string& key, std::function<WorkState(bool)> finish) {
  if (!key.empty()) FinishBackgroundWork(key);
  work_.push_back({key, std::move(finish)});
}

bool Application::Finish(Work work, bool wait) {
  WorkState state = work.finish(wait);
  if (state == WorkState::Running && !wait) {
    work_.push_back(std::move(work));
    return false;
  }
  if (state == WorkState::Failed) ++failed_work_;
  return true;
}

void Application::CheckBackgroundWork() {
  // A box that a finished work shows lets events in; they do not look again meanwhile.
  if (checking_work_) return;
  checking_work_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{checking_work_};
  for (size_t n = work_.size(); n > 0 && !work_.empty(); --n) {
    Work work = std::move(work_.front());
    work_.erase(work_.begin());
    Finish(std::move(work), false);
  }
}

void Application::FinishBackgroundWork(const std::string& key) {
  for (size_t i = 0; i < work_.size();) {
    if (!key.empty() && work_[i].key != key) {
      ++i;
      continue;
    }
    Work work = std::move(work_[i]);
    work_.erase(work_.begin() + long(i));
    Finish(std::move(work), true);
    i = 0;  // the list may have changed while the work told its end
  }
}

AppRef::AppRef() { GetApplication(); }

Application& AppRef::GetApplication() const {
  Application* app = Application::Running();
  if (!app) vb::raise(kAutomationError, "ActiveX component can't create object");
  return *app;
}

}  // namespace host::app
