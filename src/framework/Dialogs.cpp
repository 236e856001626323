#include "framework/Dialogs.h"

#include <mutex>
#include <utility>

namespace veltra {
namespace {

std::mutex& HooksMutex() {
  static std::mutex mutex;
  return mutex;
}

TDialogHooks& Hooks() {
  static TDialogHooks hooks;
  return hooks;
}

// A copy of the installed hooks, so a dialog runs without the lock (it may take long, or replace
// the hooks itself).
TDialogHooks CurrentHooks() {
  const std::lock_guard lock(HooksMutex());
  return Hooks();
}

}  // namespace

TDialogHooks SetDialogHooks(TDialogHooks hooks) {
  const std::lock_guard lock(HooksMutex());
  return std::exchange(Hooks(), std::move(hooks));
}

bool ShowSelectDialog(const std::string& caption, std::vector<TDialogChoice>& choices) {
  const TDialogHooks hooks = CurrentHooks();
  if (!hooks.select) return false;
  std::vector<TDialogChoice> edited = choices;
  // A hook that adds or drops entries has not answered about these choices.
  if (!hooks.select(caption, edited) || edited.size() != choices.size()) return false;
  choices = std::move(edited);
  return true;
}

bool ShowTextDialog(const std::string& caption, std::string& text) {
  const TDialogHooks hooks = CurrentHooks();
  if (!hooks.editText) return false;
  std::string edited = text;
  if (!hooks.editText(caption, edited)) return false;
  text = std::move(edited);
  return true;
}

}  // namespace veltra
