#pragma once
// TCustomDevice: the base of instruments, a free-standing named object (it has no owner; its
// references count on itself).

#include "framework/VtObjectEx.h"

namespace veltra {

class TCustomDevice : public TVtObjectEx {
 public:
  TCustomDevice();
};

}  // namespace veltra
