#include "sim/TriggerSearch.h"

#include <cmath>

namespace veltra::sim {

TriggerSearch::TriggerSearch(std::span<const TriggerCondition> conditions, uint32_t codeBits,
                             bool andPossible) {
  const double scale = std::ldexp(1.0, static_cast<int>(codeBits));
  for (const TriggerCondition& c : conditions) {
    Channel channel{};
    channel.kind = c.kind;
    const double level = c.level * scale;
    const double hysteresis = c.hysteresis * scale;
    channel.lowCode = static_cast<int32_t>(std::ceil(level - hysteresis));
    channel.levelUp = static_cast<int32_t>(std::ceil(level));
    channel.levelDown = static_cast<int32_t>(std::floor(level));
    channel.highCode = static_cast<int32_t>(std::floor(level + hysteresis));
    channel.inOr = c.inOr;
    channel.inAnd = c.inAnd && andPossible;
    anyOr_ = anyOr_ || channel.inOr;
    anyAnd_ = anyAnd_ || channel.inAnd;
    channels_.push_back(channel);
  }
}

bool TriggerSearch::Update(Channel& channel, int32_t code) {
  bool fired = false;
  switch (channel.kind) {
    case 1:  // rising
      if (code < channel.lowCode) channel.armed = true;
      channel.state = code >= channel.levelUp;
      fired = channel.armed && channel.state;
      break;
    case 2:  // falling
      if (code > channel.highCode) channel.armed = true;
      channel.state = code <= channel.levelDown;
      fired = channel.armed && channel.state;
      break;
    case 4:    // entering the window
    case 8: {  // leaving it
      const bool inside = code >= channel.lowCode && code <= channel.highCode;
      channel.state = channel.kind == 4 ? inside : !inside;
      if (!channel.state) channel.armed = true;
      fired = channel.armed && channel.state;
      break;
    }
    default: break;
  }
  if (fired) channel.armed = false;
  return fired;
}

std::optional<size_t> TriggerSearch::Feed(std::span<const uint16_t* const> codes, size_t count,
                                          size_t earliest) {
  for (size_t i = 0; i < count; ++i) {
    bool orFired = false;
    bool andFired = false;
    bool andAll = anyAnd_;
    for (size_t c = 0; c < channels_.size(); ++c) {
      Channel& channel = channels_[c];
      if (!channel.inOr && !channel.inAnd) continue;
      const bool fired = Update(channel, codes[c][i]);
      orFired = orFired || (channel.inOr && fired);
      if (channel.inAnd) {
        andFired = andFired || fired;
        andAll = andAll && channel.state;
      }
    }
    if (i >= earliest && (orFired || (andFired && andAll))) return i;
  }
  return std::nullopt;
}

}  // namespace veltra::sim
