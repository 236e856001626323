#pragma once
// The user actions an object offers besides its published methods (menu entries such as "fixed
// span" or a probe-gain factor). The library has no user interface: an action only keeps the state
// an application needs to show it, and the object that owns it changes that state as its own
// settings change.

#include <cstdint>
#include <string>

namespace veltra {

struct TAction {
  std::string caption;
  int32_t tag = 0;  // what the owner needs to tell its actions apart (a table index, a mode)
  bool enabled = true;
  bool checked = false;
};

}  // namespace veltra
