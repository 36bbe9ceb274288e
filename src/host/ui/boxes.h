// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes and input boxes, and the record of every box shown.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace host::ui {

// Buttons (the low bits of the style) and answers, with their classic values.
enum MsgBoxStyle {
  vbOKOnly = 0,
  vbOKCancel = 1,
  vbAbortRetryIgnore = 2,
  vbYesNoCancel = 3,
  vbYesNo = 4,
  vbRetryCancel = 5,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton2 = 256,
  vbDefaultButton3 = 512,
};
enum MsgBoxResult { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// The answers a style offers, in button order, and the one Enter presses.
std::vector<MsgBoxResult> ButtonsOf(int style);
MsgBoxResult DefaultButtonOf(int style);
std::string ButtonsName(int style);        // "OK", "OKCancel", "YesNo", ...
std::string AnswerName(MsgBoxResult answer);  // "OK", "Cancel", "Yes", ...
std::optional<MsgBoxResult> ParseAnswer(const std::string& name);  // without regard to case

struct BoxRecord {
  enum class Kind { MessageBox, InputBox } kind = Kind::MessageBox;
  std::string text;   // the message, or the input box's prompt
  std::string title;  // empty: the box has no title of its own
  int style = 0;
  MsgBoxResult answer = vbOK;  // message boxes
  std::optional<std::string> input;  // input boxes: the text, or none when cancelled
  // One transcript line: "MSGBOX YesNo -> No: text" / "INPUTBOX -> "x": prompt",
  // line breaks written as \n.
  std::string TranscriptLine() const;
};

// Shows a message box and waits for its answer.
MsgBoxResult MsgBox(const std::string& prompt, int style = vbOKOnly, const std::string& title = "");
// Shows an input box; Cancel gives the empty text.
std::string InputBox(const std::string& prompt, const std::string& title = "", const std::string& deflt = "");

// Records a box that something other than the user answered (a key already waiting
// in the window's queue), so the record and the transcript still show it.
void RecordAnsweredBox(const std::string& prompt, int style, MsgBoxResult answer);

// Every box shown since the start (or the last clear), in order.
const std::vector<BoxRecord>& BoxLog();
void ClearBoxLog();
// Called with every box after it was answered (the command line writes its transcript so).
void SetBoxListener(std::function<void(const BoxRecord&)> listener);

}  // namespace host::ui
