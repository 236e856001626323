#pragma once
// Small objects built on the framework bases, shared by the framework tests. Each records what
// happens to it in a log the test owns, so a test can check order and that every object it made
// was destroyed.

#include <string>
#include <vector>

#include "framework/CommonObjects.h"
#include "framework/VTCOMEvents.h"
#include "framework/VtObjectEx.h"

namespace veltra::test {

using Log = std::vector<std::string>;

// A hideable object that logs its hide and its destruction under its label.
class THideProbe : public TInterfacedHideObject {
 public:
  THideProbe(Log& log, std::string label, IInterface* owner = nullptr)
      : TInterfacedHideObject(owner), log_(log), label_(std::move(label)) {}
  ~THideProbe() override { log_.push_back(label_ + " destroyed"); }

  void Hide() override {
    log_.push_back(label_ + " hide");
    TInterfacedHideObject::Hide();
  }

  IInterface* Self() { return static_cast<IInterface*>(this); }
  const std::string& Label() const { return label_; }

 private:
  Log& log_;
  std::string label_;
};

// A hideable object that fires data-change events, as signals do.
class TSourceProbe : public THideProbe {
 public:
  TSourceProbe(Log& log, std::string label)
      : THideProbe(log, std::move(label)), events_(Self(), ConnectionPoints()) {}

  TCustomSourceEvents& Events() { return events_; }

 private:
  TCustomSourceEvents events_;
};

// A named object of a class of its own, so its numbers come from a numbering no other test uses.
template <int kClass>
class TNamedProbe : public TVtObjectEx {
 public:
  static constexpr Guid kClassID = {0x6E0B0000u + kClass, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

  explicit TNamedProbe(Log* log = nullptr, int32_t number = 0) : log_(log) {
    if (number != 0) SetNumber(number);
  }
  ~TNamedProbe() override {
    if (log_) log_->push_back(std::to_string(GetNumber()).insert(0, 1, '#').append(" destroyed"));
  }

  Guid GetClassID() const override { return kClassID; }

 private:
  Log* log_;
};

}  // namespace veltra::test
