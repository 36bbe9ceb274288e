// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user, as the host's windows see it. Headless, the user is a queue of actions:
// tests and scripts push them; a modal form and every message or input box take their
// input from the queue, as a message loop takes events. The GUI puts a user of its
// own in its place (real windows and a real event loop).

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/ui/boxes.h"

namespace host::ui {

class Form;

// A mistake in the scripted input itself (unknown control, a box with no answer, ...).
// It is not a run-time error of the program: it ends the test or the script.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class User {
 public:
  virtual ~User() = default;
  virtual MsgBoxResult AnswerMessageBox(const BoxRecord& box) = 0;
  // The text typed, or none for Cancel.
  virtual std::optional<std::string> AnswerInputBox(const BoxRecord& box) = 0;
  // Returns when the form is hidden or unloaded.
  virtual void RunModal(Form& form) = 0;
};

User& CurrentUser();
// Puts another user in place (the GUI); null puts the scripted user back.
void SetUser(User* user);

// What the scripted user does with a box or a modal form that the queue has no input for.
enum class UnansweredPolicy {
  Fail,     // tests: a ScriptError
  Default,  // command line: the box's default button (its text on stderr); a modal form is closed
};

class ScriptedUser : public User {
 public:
  struct Action {
    enum class Kind { Step, Answer, Input } kind = Kind::Step;
    std::string where;            // for messages: "line 12: click frmMain.btnGo"
    std::function<void()> step;   // Step
    MsgBoxResult answer = vbOK;   // Answer
    std::optional<std::string> input;  // Input: the text, none for Cancel
  };

  static ScriptedUser& Instance();

  void Push(Action action);
  void PushStep(std::function<void()> step, std::string where = {});
  void PushAnswer(MsgBoxResult answer, std::string where = {});
  void PushInput(std::optional<std::string> text, std::string where = {});
  // Plays queued actions until the queue is empty or stop() says so.
  void Run(const std::function<bool()>& stop = {});
  void Clear();
  size_t Pending() const { return queue_.size(); }
  void SetPolicy(UnansweredPolicy policy) { policy_ = policy; }
  UnansweredPolicy Policy() const { return policy_; }

  MsgBoxResult AnswerMessageBox(const BoxRecord& box) override;
  std::optional<std::string> AnswerInputBox(const BoxRecord& box) override;
  void RunModal(Form& form) override;

 private:
  std::deque<Action> queue_;
  UnansweredPolicy policy_ = UnansweredPolicy::Fail;
};

}  // namespace host::ui
