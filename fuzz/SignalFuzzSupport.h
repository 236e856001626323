#pragma once
// What the signal-file fuzz target and its corpus writer share: the first input byte selects the
// reader, the source class they read into, and the key cipher both register.
//
// Input: one mode byte, then the file. Mode bit 0 clear: an IFF stream whose first "RIFF"/"SRC "
// container (anywhere) is read; set: a legacy block chain. Mode bit 1: read with kFileNoData. Mode
// bit 2: the legacy reader's source holds doubles (else 16-bit codes).

#include <cstdint>
#include <memory>
#include <string>

#include "signals/Signals.h"
#include "util/IFFData.h"

namespace veltra::fuzz {

inline constexpr uint8_t kModeLegacy = 1;
inline constexpr uint8_t kModeNoData = 2;
inline constexpr uint8_t kModeDoubles = 4;

// A source whose records stay small, as an instrument's channel limits its record length.
class TFuzzSource : public TCustomSource {
 public:
  static constexpr int64_t kMaxCount = int64_t{1} << 16;
  bool SetCount(int64_t count) override {
    return count <= kMaxCount && TCustomSource::SetCount(count);
  }
};

// Key cipher bit 1 (the mask a reader assumes without "DAPK"): the key is stored reversed.
class TReversedKey : public IKeyCipher {
 public:
  bool Encode(std::string& key) override {
    key.assign(key.rbegin(), key.rend());
    return true;
  }
  bool Decode(std::string& key) override { return Encode(key); }
};

inline void RegisterFuzzCipher() { KeyCiphers().Register(1, std::make_shared<TReversedKey>()); }

}  // namespace veltra::fuzz
