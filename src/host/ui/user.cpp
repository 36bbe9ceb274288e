// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/ui/user.h"

#include <algorithm>
#include <cstdio>

#include "host/ui/form.h"

namespace host::ui {

namespace {
User* g_user = nullptr;

std::string located(const std::string& where, const std::string& what) {
  return where.empty() ? what : where + ": " + what;
}
}  // namespace

User& CurrentUser() { return g_user ? *g_user : ScriptedUser::Instance(); }
void SetUser(User* user) { g_user = user; }

ScriptedUser& ScriptedUser::Instance() {
  static ScriptedUser user;
  return user;
}

void ScriptedUser::Push(Action action) { queue_.push_back(std::move(action)); }

void ScriptedUser::PushStep(std::function<void()> step, std::string where) {
  Action a;
  a.kind = Action::Kind::Step;
  a.step = std::move(step);
  a.where = std::move(where);
  Push(std::move(a));
}

void ScriptedUser::PushAnswer(MsgBoxResult answer, std::string where) {
  Action a;
  a.kind = Action::Kind::Answer;
  a.answer = answer;
  a.where = std::move(where);
  Push(std::move(a));
}

void ScriptedUser::PushInput(std::optional<std::string> text, std::string where) {
  Action a;
  a.kind = Action::Kind::Input;
  a.input = std::move(text);
  a.where = std::move(where);
  Push(std::move(a));
}

void ScriptedUser::Clear() { queue_.clear(); }

void ScriptedUser::Run(const std::function<bool()>& stop) {
  while (!queue_.empty() && !(stop && stop())) {
    Action a = std::move(queue_.front());
    queue_.pop_front();
    if (a.kind != Action::Kind::Step)
      throw ScriptError(located(a.where, a.kind == Action::Kind::Answer ? "no message box is open to answer"
                                                                          : "no input box is open to answer"));
    a.step();
  }
}

MsgBoxResult ScriptedUser::AnswerMessageBox(const BoxRecord& box) {
  if (!queue_.empty() && queue_.front().kind == Action::Kind::Answer) {
    Action a = std::move(queue_.front());
    queue_.pop_front();
    auto buttons = ButtonsOf(box.style);
    if (std::find(buttons.begin(), buttons.end(), a.answer) == buttons.end())
      throw ScriptError(located(a.where, "the message box has no " + AnswerName(a.answer) + " button: " + box.text));
    return a.answer;
  }
  if (policy_ == UnansweredPolicy::Fail) throw ScriptError("a message box had no scripted answer: " + box.text);
  MsgBoxResult answer = DefaultButtonOf(box.style);
  std::fprintf(stderr, "[message box, %s] %s\n", AnswerName(answer).c_str(), box.text.c_str());
  return answer;
}

std::optional<std::string> ScriptedUser::AnswerInputBox(const BoxRecord& box) {
  if (!queue_.empty() && queue_.front().kind == Action::Kind::Input) {
    Action a = std::move(queue_.front());
    queue_.pop_front();
    return a.input;
  }
  if (policy_ == UnansweredPolicy::Fail) throw ScriptError("an input box had no scripted answer: " + box.text);
  std::fprintf(stderr, "[input box, Cancel] %s\n", box.text.c_str());
  return std::nullopt;
}

void ScriptedUser::RunModal(Form& form) {
  while (form.IsLoaded() && form.Visible()) {
    if (queue_.empty()) {
      if (policy_ == UnansweredPolicy::Fail)
        throw ScriptError("the window " + form.Name() + " is still open and the input has ended");
      std::fprintf(stderr, "[closing %s: the input has ended]\n", form.Name().c_str());
      form.Unload(vbFormControlMenu);
      if (form.IsLoaded()) form.Hide();  // it refused to close; the modal show must still end
      return;
    }
    Action a = std::move(queue_.front());
    queue_.pop_front();
    if (a.kind != Action::Kind::Step)
      throw ScriptError(located(a.where, "no box is open to answer while " + form.Name() + " is shown"));
    a.step();
  }
}

}  // namespace host::ui
