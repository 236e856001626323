#pragma once
// The dialogs through which objects ask the user (which sinks to disconnect, a unit text). The
// library shows no windows of its own: an application that wants these dialogs installs hooks that
// show them. Without a hook every dialog answers "cancel", so nothing changes.
//
// The hooks are process-wide and may be replaced at any time from any thread; a dialog in progress
// keeps the hook it started with.

#include <functional>
#include <string>
#include <vector>

namespace veltra {

// One entry of a selection dialog: its text and its check box.
struct TDialogChoice {
  std::string text;
  bool checked = false;
};

struct TDialogHooks {
  // A list with check boxes. Answers true for OK, with the boxes as the user left them (the same
  // entries, in the same order).
  std::function<bool(const std::string& caption, std::vector<TDialogChoice>& choices)> select;
  // A text field showing `text`. Answers true for OK, with the text the user entered.
  std::function<bool(const std::string& caption, std::string& text)> editText;
};

// Installs `hooks` and answers the ones they replace.
TDialogHooks SetDialogHooks(TDialogHooks hooks);

// Run the installed hook; false (cancel) when there is none. Nothing is changed on cancel.
bool ShowSelectDialog(const std::string& caption, std::vector<TDialogChoice>& choices);
bool ShowTextDialog(const std::string& caption, std::string& text);

}  // namespace veltra
