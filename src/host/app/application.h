// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running host application: one per process. It creates the registered commands
// with itself, clicks them by name, holds the status bar, and shuts down on request,
// asking first whether to save a changed document.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/app/command.h"
#include "host/app/progressor.h"
#include "host/app/registry.h"

namespace host::carto {
class Document;
}

namespace host::app {

// How a command's background work stands (see Application::AddBackgroundWork).
enum class WorkState { Running, Succeeded, Failed };

class Application {
 public:
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The running application, or null.
  static Application* Running();

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  StatusBar& GetStatusBar() { return status_bar_; }

  // Creates every registered command and tells each of its creation.
  void CreateCommands();
  // Creates one command from its class entry (the host does so at start).
  ICommand& CreateCommand(const CommandClassEntry& entry);
  // The created command of that name (exact), or null.
  ICommand* FindCommand(const std::string& name) const;
  std::vector<ICommand*> Commands() const;
  // Clicks a command as the user does: nothing happens while it is disabled.
  void Click(ICommand& command);

  // The map document: a new one when the host starts.
  carto::Document& GetDocument() const { return *document_; }
  // Opens a map document in place of the current one. A document that cannot be
  // opened fails with one error naming the file and the place, and the current
  // document stays.
  void OpenDocument(const std::string& path);
  // Saves the document to path, or, for an empty path, to the file it came from.
  void SaveDocument(const std::string& path = "");

  // Whether the document holds changes not saved (the save question at shutdown).
  bool DocumentChanged() const;
  void SetDocumentChanged(bool v);

  // Asks the host to end. The host ends when the current event handler has returned
  // (ProcessShutdown), after asking whether to save a changed document; keys sent to
  // its window meanwhile ("n") answer that question.
  void Shutdown();
  bool ShutdownRequested() const { return shutdown_requested_; }
  // Carries out a requested shutdown: the save question (Yes saves the document; a new
  // document asks for a file name), then every window unloaded. False when the user
  // cancelled or the document could not be saved (the host goes on).
  bool ProcessShutdown();
  bool HasEnded() const { return ended_; }

  // Ends the host in order, before any static object of the process is destroyed:
  // every window unloaded (their Form_Unload runs), the commands released, then the
  // document, so that nothing a plug-in made outlives what it uses. Runs once; the
  // destructor runs it when nobody did. The application keeps an empty document.
  void End();

  // Work a command leaves running after its handler has returned, such as a program it
  // started. finish(wait) looks whether the work is over, waiting for it when wait is
  // true; once it is, it tells the user how it ended where that needs telling (a
  // message box) and returns how. Work of the same key (when not empty) is finished first.
  void AddBackgroundWork(const std::string& key, std::function<WorkState(bool wait)> finish);
  // Finishes the work that is over, without waiting for the rest (the window does so
  // when its next event comes).
  void CheckBackgroundWork();
  // Waits for the work of that key, or for all of it when the key is empty, and
  // finishes it. The host does so as it ends.
  void FinishBackgroundWork(const std::string& key = "");
  bool HasBackgroundWork() const { return !work_.empty(); }
  // How many background works ended in failure since the host started (its exit
  // status tells a script of them).
  int FailedBackgroundWork() const { return failed_work_; }

  // Keys sent to the host's active window.
  void ReceiveKeys(const std::string& keys);

 private:
  struct Work {
    std::string key;
    std::function<WorkState(bool)> finish;
  };
  // Runs a work's finish; the work is out of the list meanwhile, so that the box it
  // shows may let other events in. True when it is over.
  bool Finish(Work work, bool wait);

  struct Created {
    CommandClassEntry entry;
    std::unique_ptr<ICommand> command;
  };
  std::string name_ = "ZelvaneMap";
  std::string caption_ = "Untitled - ZelvaneMap";
  StatusBar status_bar_;
  std::vector<Created> commands_;
  std::unique_ptr<carto::Document> document_;
  bool shutdown_requested_ = false;
  bool ended_ = false;
  bool released_ = false;
  std::string pending_keys_;
  std::vector<Work> work_;
  int failed_work_ = 0;
  bool checking_work_ = false;
};

// The object that gives the command the running application.
class AppRef {
 public:
  // Both fail with an automation error when no application runs. The reference is to
  // whichever application runs when it is used, so one kept past its application's end
  // fails instead of reaching freed memory.
  AppRef();
  Application& GetApplication() const;
};

}  // namespace host::app
