#include "framework/ObjectNumberList.h"

#include <algorithm>

namespace veltra {

TObjectNumberList& TObjectNumberList::Instance() {
  // Never destroyed: objects may still return their numbers while the process ends.
  static TObjectNumberList* const instance = new TObjectNumberList;
  return *instance;
}

int32_t TObjectNumberList::Draw(const Guid& classId) {
  const std::lock_guard lock(mutex_);
  auto found = std::find_if(classes_.begin(), classes_.end(),
                            [&](const ClassNumbers& c) { return c.classId == classId; });
  if (found == classes_.end()) found = classes_.insert(classes_.end(), {classId, {}});
  const int32_t number = found->numbers.empty() ? 1 : found->numbers.back() + 1;
  found->numbers.push_back(number);
  return number;
}

void TObjectNumberList::Return(const Guid& classId, int32_t number) {
  const std::lock_guard lock(mutex_);
  const auto found = std::find_if(classes_.begin(), classes_.end(),
                                  [&](const ClassNumbers& c) { return c.classId == classId; });
  if (found == classes_.end()) return;
  const auto entry = std::find(found->numbers.begin(), found->numbers.end(), number);
  if (entry != found->numbers.end()) found->numbers.erase(entry);
  if (found->numbers.empty()) classes_.erase(found);
}

}  // namespace veltra
