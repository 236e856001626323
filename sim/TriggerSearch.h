#pragma once
// Finds the trigger in the sample codes of the trigger sources.
//
// Each source channel has a condition on its codes, with the level L and the hysteresis H as
// fractions of the range (0 is the lowest code, 1 one above the highest):
//   1 rising:  fires at the first code >= L after a code below L - H
//   2 falling: fires at the first code <= L after a code above L + H
//   4 inside:  fires when the code enters the window L - H ... L + H from outside
//   8 outside: fires when the code leaves that window after being inside
// The OR sources trigger when any of them fires. The AND sources trigger when one of them fires
// while all of them are in their condition's state (at or above L for rising, at or below L for
// falling, inside or outside the window). The external input never fires by itself, so an AND
// combination with it never triggers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veltra::sim {

struct TriggerCondition {
  int64_t kind = 1;         // 1, 2, 4 or 8
  double level = 0.5;       // fraction of the range
  double hysteresis = 0.0;  // fraction of the range
  bool inOr = false;
  bool inAnd = false;
};

class TriggerSearch {
 public:
  // One condition per channel whose codes are fed; codes are `codeBits` wide. `andPossible` is
  // false when the AND sources include an input that never fires.
  TriggerSearch(std::span<const TriggerCondition> conditions, uint32_t codeBits, bool andPossible);

  // True when some source can fire at all.
  bool CanFire() const { return anyOr_ || anyAnd_; }

  // Feeds the next `count` codes of every channel (one span per condition, in order). Answers the
  // index within this chunk of the first trigger at or after `earliest` (an index of this chunk;
  // earlier samples only arm the conditions).
  std::optional<size_t> Feed(std::span<const uint16_t* const> codes, size_t count, size_t earliest);

 private:
  struct Channel {
    int64_t kind;
    int32_t lowCode;    // the lowest code at or above L - H (rising arms below it)
    int32_t levelUp;    // the lowest code at or above L
    int32_t levelDown;  // the highest code at or below L
    int32_t highCode;   // the highest code at or below L + H (falling arms above it)
    bool inOr;
    bool inAnd;
    bool armed = false;
    bool state = false;
  };
  // Updates a channel with one code; true when its condition fires.
  static bool Update(Channel& channel, int32_t code);

  std::vector<Channel> channels_;
  bool anyOr_ = false;
  bool anyAnd_ = false;
};

}  // namespace veltra::sim
