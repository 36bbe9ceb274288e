// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/ui/boxes.h"

#include "host/ui/user.h"
#include "host/vb/text.h"

namespace host::ui {

namespace {
std::vector<BoxRecord>& log() {
  static std::vector<BoxRecord> records;
  return records;
}
std::function<void(const BoxRecord&)>& listener() {
  static std::function<void(const BoxRecord&)> l;
  return l;
}
void record(const BoxRecord& box) {
  log().push_back(box);
  if (listener()) listener()(box);
}
std::string one_line(const std::string& text) {
  return vb::Replace(vb::Replace(vb::Replace(text, "\r\n", "\\n"), "\n", "\\n"), "\r", "\\n");
}
}  // namespace

std::vector<MsgBoxResult> ButtonsOf(int style) {
  switch (style & 7) {
    case vbOKCancel: return {vbOK, vbCancel};
    case vbAbortRetryIgnore: return {vbAbort, vbRetry, vbIgnore};
    case vbYesNoCancel: return {vbYes, vbNo, vbCancel};
    case vbYesNo: return {vbYes, vbNo};
    case vbRetryCancel: return {vbRetry, vbCancel};
    default: return {vbOK};
  }
}

MsgBoxResult DefaultButtonOf(int style) {
  auto buttons = ButtonsOf(style);
  size_t which = (style & vbDefaultButton3) ? 2 : (style & vbDefaultButton2) ? 1 : 0;
  return buttons[which < buttons.size() ? which : 0];
}

std::string ButtonsName(int style) {
  switch (style & 7) {
    case vbOKCancel: return "OKCancel";
    case vbAbortRetryIgnore: return "AbortRetryIgnore";
    case vbYesNoCancel: return "YesNoCancel";
    case vbYesNo: return "YesNo";
    case vbRetryCancel: return "RetryCancel";
    default: return "OK";
  }
}

std::string AnswerName(MsgBoxResult answer) {
  switch (answer) {
    case vbOK: return "OK";
    case vbCancel: return "Cancel";
    case vbAbort: return "Abort";
    case vbRetry: return "Retry";
    case vbIgnore: return "Ignore";
    case vbYes: return "Yes";
    case vbNo: return "No";
  }
  return "?";
}

std::optional<MsgBoxResult> ParseAnswer(const std::string& name) {
  for (MsgBoxResult r : {vbOK, vbCancel, vbAbort, vbRetry, vbIgnore, vbYes, vbNo})
    if (vb::SameText(name, AnswerName(r))) return r;
  return std::nullopt;
}

std::string BoxRecord::TranscriptLine() const {
  if (kind == Kind::MessageBox) return "MSGBOX " + ButtonsName(style) + " -> " + AnswerName(answer) + ": " + one_line(text);
  std::string answer_text = input ? "\"" + vb::Replace(vb::Replace(*input, "\\", "\\\\"), "\"", "\\\"") + "\"" : "Cancel";
  return "INPUTBOX -> " + one_line(answer_text) + ": " + one_line(text);
}

MsgBoxResult MsgBox(const std::string& prompt, int style, const std::string& title) {
  BoxRecord box;
  box.kind = BoxRecord::Kind::MessageBox;
  box.text = prompt;
  box.title = title;
  box.style = style;
  box.answer = CurrentUser().AnswerMessageBox(box);
  record(box);
  return box.answer;
}

std::string InputBox(const std::string& prompt, const std::string& title, const std::string& deflt) {
  BoxRecord box;
  box.kind = BoxRecord::Kind::InputBox;
  box.text = prompt;
  box.title = title;
  box.input = deflt;
  box.input = CurrentUser().AnswerInputBox(box);
  record(box);
  return box.input.value_or("");
}

void RecordAnsweredBox(const std::string& prompt, int style, MsgBoxResult answer) {
  BoxRecord box;
  box.text = prompt;
  box.style = style;
  box.answer = answer;
  record(box);
}

const std::vector<BoxRecord>& BoxLog() { return log(); }
void ClearBoxLog() { log().clear(); }
void SetBoxListener(std::function<void(const BoxRecord&)> l) { listener() = std::move(l); }

}  // namespace host::ui
