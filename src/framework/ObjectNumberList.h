#pragma once
// Object numbers: per class identifier, the numbers its objects drew, in the order they were drawn.
// A new object draws the last number in use + 1 (1 when none is in use), so numbers freed at the
// end are drawn again while gaps in the middle stay open:
//
//   three objects draw 1, 2, 3; freeing 3 and making one draws 3 again; freeing 1 and making one
//   draws 4.
//
// One process-wide list serves every object (Instance); it is locked, so objects may be made on
// any thread.

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Guid.h"

namespace veltra {

class TObjectNumberList {
 public:
  static TObjectNumberList& Instance();

  int32_t Draw(const Guid& classId);
  // Gives back a drawn number; a class whose last number returns is forgotten.
  void Return(const Guid& classId, int32_t number);

 private:
  struct ClassNumbers {
    Guid classId;
    std::vector<int32_t> numbers;  // in the order drawn
  };

  std::mutex mutex_;
  std::vector<ClassNumbers> classes_;
};

}  // namespace veltra
