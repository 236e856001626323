#include "framework/Settings.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "util/IFFData.h"
#include "util/IFFHelper.h"
#include "util/DataTypes.h"

namespace veltra {
namespace {

constexpr uint32_t kRounded = 1u << 5;   // the owner keeps only multiples of 16
constexpr uint32_t kReadOnly = 1u << 6;  // readable, not writable
constexpr uint32_t kFailing = 1u << 7;   // readable, but every read fails

// An owner that keeps its values in an array and records which identifiers it was asked for.
// A read with parameter -1 answers ten times the value, so index reads can be told apart.
class TTestOwner : public TOwnInterfacedObject {
 public:
  HResult Get(uint32_t id, int64_t& value) {
    reads.push_back(id);
    if (id == 1) return value = readable, S_OK;
    if (id == 2) return value = writable, S_OK;
    if (!(id & readable) || (id & kFailing)) return E_NOTIMPL;
    const int64_t stored = values[std::countr_zero(id)];
    value = value == -1 ? stored * 10 : stored;
    return S_OK;
  }
  HResult Set(uint32_t id, int64_t value) {
    writes.push_back(id);
    if (!(id & writable)) return E_INVALIDARG;
    values[std::countr_zero(id)] = id == kRounded ? value & ~int64_t{15} : value;
    return S_OK;
  }
  int32_t Info(int32_t index) { return index == 0 ? 0x1234 : -2; }

  Owned<TCachedSettings> MakeSettings() {
    return MakeOwned<TCachedSettings>(this, TSettingsSetValueMethod::Bind<&TTestOwner::Set>(this),
                                      TSettingsGetValueMethod::Bind<&TTestOwner::Get>(this),
                                      TSettingsInfoMethod::Bind<&TTestOwner::Info>(this));
  }
  size_t ReadsOf(uint32_t id) const { return static_cast<size_t>(std::count(reads.begin(), reads.end(), id)); }

  uint32_t readable = 0xFFFFFFFF & ~(1u << 31);
  uint32_t writable = 0xFFFFFFFF & ~(1u << 31) & ~kReadOnly;
  std::array<int64_t, 32> values{};
  std::vector<uint32_t> reads;
  std::vector<uint32_t> writes;
};

// Records the listener calls.
struct Listener {
  void OnChange(IInterface* sender, uint32_t changes) { calls.push_back({name, sender, changes}); }
  TSettingsChangeEvent Handler() { return TSettingsChangeEvent::Bind<&Listener::OnChange>(this); }

  struct Call {
    char name;
    IInterface* sender;
    uint32_t changes;
    bool operator==(const Call&) const = default;
  };
  char name;
  std::vector<Call>& calls;
};

class SettingsTest : public ::testing::Test {
 protected:
  ComPtr<TTestOwner> owner = MakeObject<TTestOwner>();
  Owned<TCachedSettings> settings = owner->MakeSettings();
  IInterface* sender = static_cast<IInterface*>(settings.Get());
};

TEST_F(SettingsTest, ForwardsToTheOwnerThroughItsMethods) {
  EXPECT_EQ(settings->SetValue(1u << 3, 77), S_OK);
  EXPECT_EQ(owner->values[3], 77);
  int64_t value = 0;
  EXPECT_EQ(settings->GetValue(1u << 3, value), S_OK);
  EXPECT_EQ(value, 77);
  EXPECT_EQ(settings->SetValue(kReadOnly, 1), E_INVALIDARG);
  EXPECT_EQ(settings->GetSupportsGet(), owner->readable);
  EXPECT_EQ(settings->GetSupportsSet(), owner->writable);
  EXPECT_EQ(settings->GetInfo0(), 0x1234);
  EXPECT_EQ(settings->GetInfo1(), -2);

  // An owned object: its interfaces keep the owner alive.
  EXPECT_EQ(settings->GetOwner().Get(), static_cast<IInterface*>(owner.Get()));
  const int32_t before = owner->RefCount();
  ComPtr<ISettings> asSettings = Query<ISettings>(static_cast<IInterface*>(settings.Get()));
  ASSERT_TRUE(asSettings);
  EXPECT_TRUE(Query<IChangeNotify2>(asSettings));
  EXPECT_EQ(owner->RefCount(), before + 1);
}

TEST_F(SettingsTest, CacheRules) {
  const uint32_t id = 1u << 4;
  owner->values[4] = 3;
  int64_t value = 0;

  // Nothing is cached until the owner allows it.
  settings->GetValue(id, value);
  settings->GetValue(id, value);
  EXPECT_EQ(owner->ReadsOf(id), 2u);

  settings->SetCachable(id | 1);
  settings->GetValue(id, value);
  owner->values[4] = 4;  // the owner's value changes without telling
  value = 123;           // the incoming value does not matter for a plain cached read
  EXPECT_EQ(settings->GetValue(id, value), S_OK);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(owner->ReadsOf(id), 3u);

  // A write does not touch the cache; the owner's change report drops the value.
  settings->SetValue(id, 5);
  settings->GetValue(id, value);
  EXPECT_EQ(value, 3);
  settings->Changed(id);
  settings->GetValue(id, value);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(owner->ReadsOf(id), 4u);

  // Reads with -1 are cached apart from plain values; other parameters use the plain cache.
  settings->SetCachableIndices(id);
  value = -1;
  EXPECT_EQ(settings->GetValue(id, value), S_OK);
  EXPECT_EQ(value, 50);
  value = -1;
  settings->GetValue(id, value);
  EXPECT_EQ(value, 50);
  value = 5;
  settings->GetValue(id, value);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(owner->ReadsOf(id), 5u);

  // Narrowing the masks drops what they no longer allow, at once.
  settings->SetCachable(1);
  settings->SetCachableIndices(0);
  owner->values[4] = 6;
  value = -1;
  settings->GetValue(id, value);
  EXPECT_EQ(value, 60);
  settings->GetValue(id, value = 0);
  EXPECT_EQ(value, 6);
  EXPECT_EQ(owner->ReadsOf(id), 7u);
}

TEST_F(SettingsTest, UnsupportedAndFailedReadsAreNotCached) {
  settings->SetCachable(0xFFFFFFFF);
  owner->readable = 0xFF;
  const uint32_t unsupported = 1u << 9;
  int64_t value = 99;
  EXPECT_EQ(settings->GetValue(unsupported, value), E_NOTIMPL);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(settings->GetValue(unsupported, value = 5), E_NOTIMPL);
  // Only the readable mask was read, once: the second time from the cache.
  EXPECT_EQ(owner->reads, (std::vector<uint32_t>{1}));

  EXPECT_EQ(settings->GetValue(kFailing, value), E_NOTIMPL);
  EXPECT_EQ(settings->GetValue(kFailing, value), E_NOTIMPL);
  EXPECT_EQ(owner->ReadsOf(kFailing), 2u);

  // Identifiers 1 and 2 are passed on even when the readable mask leaves them out; identifiers
  // with more than one bit are never cached.
  owner->readable = 0xF0;
  settings->Changed(1);
  EXPECT_EQ(settings->GetValue(2, value), S_OK);
  EXPECT_EQ(value, owner->writable);
  settings->GetValue(0x30, value);
  settings->GetValue(0x30, value);
  EXPECT_EQ(owner->ReadsOf(0x30), 2u);
}

TEST_F(SettingsTest, ListenersUpdateBracketsAndOrder) {
  std::vector<Listener::Call> calls;
  Listener a{'a', calls};
  Listener b{'b', calls};
  settings->AddChangeNotify(a.Handler());
  settings->AddChangeNotify(b.Handler());
  settings->AddChangeNotify(a.Handler());  // registered once

  settings->Changed(0);  // nothing to tell
  settings->Changed(4);
  EXPECT_EQ(calls, (std::vector<Listener::Call>{{'b', sender, 4}, {'a', sender, 4}}));

  calls.clear();
  settings->BeginUpdate();
  settings->Changed(1);
  settings->BeginUpdate();
  settings->Changed(8);
  settings->EndUpdate();
  EXPECT_TRUE(calls.empty());
  settings->EndUpdate();
  EXPECT_EQ(calls, (std::vector<Listener::Call>{{'b', sender, 9}, {'a', sender, 9}}));

  calls.clear();
  settings->RemoveChangeNotify(b.Handler());
  settings->RemoveChangeNotify(b.Handler());
  settings->EndUpdate();  // on zero: still delivers, with an empty mask
  EXPECT_EQ(calls, (std::vector<Listener::Call>{{'a', sender, 0}}));
}

// A listener that removes another one (and itself) while it is called, and adds a third.
struct Rearranger {
  void OnChange(IInterface*, uint32_t) {
    ++calls;
    settings->RemoveChangeNotify(victim);
    settings->RemoveChangeNotify(TSettingsChangeEvent::Bind<&Rearranger::OnChange>(this));
    settings->AddChangeNotify(late);
  }
  TCachedSettings* settings;
  TSettingsChangeEvent victim;
  TSettingsChangeEvent late;
  int calls = 0;
};

TEST_F(SettingsTest, ListenersMayChangeTheListWhileTheyAreCalled) {
  std::vector<Listener::Call> calls;
  Listener victim{'v', calls};
  Listener late{'l', calls};
  Rearranger rearranger{settings.Get(), victim.Handler(), late.Handler()};
  settings->AddChangeNotify(victim.Handler());
  settings->AddChangeNotify(TSettingsChangeEvent::Bind<&Rearranger::OnChange>(&rearranger));
  settings->Changed(2);
  EXPECT_EQ(rearranger.calls, 1);
  EXPECT_TRUE(calls.empty());  // removed before its turn; the added one waits for the next change
  settings->Changed(2);
  EXPECT_EQ(rearranger.calls, 1);
  EXPECT_EQ(calls, (std::vector<Listener::Call>{{'l', sender, 2}}));
}

std::vector<uint8_t> Record(uint64_t mask, const std::vector<std::pair<int, int64_t>>& values) {
  std::vector<uint8_t> bytes(256, 0);
  const auto store = [&](size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  store(0, mask);
  for (const auto& [bit, value] : values) store(8 * static_cast<size_t>(bit), static_cast<uint64_t>(value));
  return bytes;
}

TEST_F(SettingsTest, LoadFromStreamAppliesAndVerifiesTheRecord) {
  std::vector<Listener::Call> calls;
  Listener listener{'a', calls};
  settings->AddChangeNotify(listener.Handler());
  const uint64_t stored = (1u << 3) | (1u << 4) | kRounded | kReadOnly | (1ull << 40);
  TMemoryStream stream(Record(stored, {{3, 33}, {4, 44}, {5, 55}, {6, 66}, {8, 88}}));
  // Bit 4 is not requested, bit 8 not stored; 55 reads back as 48; 66 cannot be written.
  const uint32_t failed = settings->LoadFromStream(stream, ~(1u << 4));
  EXPECT_EQ(failed, kRounded | kReadOnly);
  EXPECT_EQ(owner->writes, (std::vector<uint32_t>{1u << 3, kRounded, kReadOnly}));
  EXPECT_EQ(owner->values[3], 33);
  EXPECT_EQ(owner->values[4], 0);
  EXPECT_EQ(owner->values[8], 0);
  EXPECT_EQ(calls.size(), 1u);  // the bracket's one delivery

  TMemoryStream shortRecord(std::vector<uint8_t>(100, 0xFF));
  EXPECT_EQ(settings->LoadFromStream(shortRecord, 0x31), 0x30u);
  EXPECT_EQ(owner->writes.size(), 3u);
}

uint64_t Word(const std::vector<uint8_t>& bytes, size_t at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[at + static_cast<size_t>(i)];
  return value;
}

TEST_F(SettingsTest, SettingsChunkLayoutAndRoundTrip) {
  owner->readable = 0x1F | kRounded;  // bits 2, 3, 4 and 5 carry values
  for (int bit = 0; bit < 32; ++bit) owner->values[bit] = 100 + bit;
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("INST"));
  iff.AddChunk(form, ID_SETTINGS_CUR, 100);  // an existing chunk is resized
  settings->SaveToChunk(iff, form, true, ID_SETTINGS_CUR);
  settings->SaveToChunk(iff, form, true, ID_SETTINGS_NEXT);
  ASSERT_EQ(iff.CountChunks(form, 0), 2);
  TIFFChunk* cur = form->firstChild;
  ASSERT_EQ(iff.GetChunkSize(cur), (6u + 2) * 8);
  std::vector<uint8_t> data(64);
  iff.ReadChunkData(cur, data.data(), 64);
  EXPECT_EQ(Word(data, 0), 0x1234u);
  EXPECT_EQ(Word(data, 8), 0xFFFFFFFEu);  // zero-extended
  EXPECT_EQ(Word(data, 16), owner->readable);
  EXPECT_EQ(Word(data, 24), owner->writable);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(Word(data, 32 + 8 * static_cast<size_t>(k)), 102u + static_cast<uint64_t>(k));

  // Saving into the node itself.
  settings->SaveToChunk(iff, form->firstChild->next, false, 0);
  EXPECT_EQ(iff.GetChunkSize(form->firstChild->next), 64u);

  // Loading into another owner's settings, with the cache dropped afterwards.
  ComPtr<TTestOwner> other = MakeObject<TTestOwner>();
  Owned<TCachedSettings> target = other->MakeSettings();
  target->SetCachable(0xFFFFFFFF);
  int64_t value = 0;
  target->GetValue(1u << 3, value);
  EXPECT_EQ(target->LoadFromChunk(iff, cur, 0xFFFFFFFFFFFFFFFF), kRounded);  // 105 reads back 96
  EXPECT_EQ(other->values[2], 102);
  EXPECT_EQ(other->values[4], 104);
  target->GetValue(1u << 3, value);
  EXPECT_EQ(value, 103);

  // A mask sharing no bit with the stored readable mask applies nothing and opens no bracket.
  std::vector<Listener::Call> calls;
  Listener listener{'a', calls};
  target->AddChangeNotify(listener.Handler());
  other->writes.clear();
  EXPECT_EQ(target->LoadFromChunk(iff, cur, 1u << 20), 0u);
  EXPECT_EQ(target->LoadFromChunk(iff, cur, 0), 0u);
  EXPECT_TRUE(other->writes.empty());
  EXPECT_TRUE(calls.empty());
}

TEST_F(SettingsTest, MalformedSettingsChunksApplyNothing) {
  const auto chunk = [](uint64_t readable, size_t values) {
    std::vector<uint8_t> bytes(32 + 8 * values, 0);
    for (int i = 0; i < 8; ++i) bytes[16 + static_cast<size_t>(i)] = static_cast<uint8_t>(readable >> (8 * i));
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
  };
  const Case cases[] = {
      {"shorter than the header", std::vector<uint8_t>(31, 0)},
      {"one value too few", chunk(0x1C, 2)},
      {"one value too many", chunk(0x1C, 4)},
      {"bits above 31 carry no values", chunk(0x1C | (1ull << 40), 4)},
      {"longer than any settings chunk", chunk(0xFFFFFFFF, 31)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream stream;
    TIFFStream iff(stream, true);
    TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("INST"));
    TIFFChunk* node =
        iff.WriteChunk(form, ID_SETTINGS_CUR, false, static_cast<uint32_t>(c.data.size()), c.data.data());
    EXPECT_EQ(settings->LoadFromChunk(iff, node, 0xFFFFFFFF), 0xFFFFFFFFu);
    EXPECT_TRUE(owner->writes.empty());
  }
  // Chunks that are no settings chunk at all.
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  EXPECT_EQ(settings->LoadFromChunk(iff, nullptr, 1), 0xFFFFFFFFu);
  EXPECT_EQ(settings->LoadFromChunk(iff, iff.GetRoot(), 1), 0xFFFFFFFFu);
}


// A file with containers, typed values, plain and keyed data chunks and settings chunks, written,
// closed and read back.
TEST_F(SettingsTest, FileRoundTrip) {
  const std::string path = (std::filesystem::temp_directory_path() / "veltra-roundtrip.iff").string();
  const TChunkID kName = MakeChunkID("NAME");
  const TChunkID kRaw = MakeChunkID("RAW ");
  const TChunkID kVolt = MakeChunkID("VOLT");
  std::vector<uint16_t> codes(50000);
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint16_t>(i * 31);
  const std::vector<double> volts = {-2.0, -0.5, 0.0, 1.25, 1.999755859375};
  for (int bit = 2; bit < 31; ++bit) owner->values[bit] = int64_t{1000} * bit - (int64_t{1} << 40);
  {
    TIFFStream iff(std::make_unique<TFileStream>(path, TFileStream::Mode::Create), true);
    TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("INST"));
    TIFFChunk* list = iff.AddContainer(form, ID_LIST, ID_SPACES);
    TIFFChunk* signal = iff.AddContainer(list, ID_FORM, MakeChunkID("SGNL"));
    TIFFHelper helper(iff, signal);
    helper.WriteWord(MakeChunkID("WORD"), 0xABCD);
    helper.WriteInteger(MakeChunkID("INT "), -123456);
    helper.WriteSingle(MakeChunkID("SNGL"), -0.75f);
    helper.WriteInt64(MakeChunkID("I64 "), -(int64_t{1} << 50));
    helper.WriteWideString(kName, "Kanal 1 – Spannung");
    helper.WriteAnsiString(MakeChunkID("UNIT"), "V");
    ASSERT_TRUE(WriteDataChunk(iff, signal, kRaw, "", 0, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, codes.size(), codes.data()));
    ASSERT_TRUE(WriteDataChunk(iff, signal, kVolt, "x7Kq_2Ab", -2, 2, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, volts.size(),
                               volts.data()));
    settings->SaveToChunk(iff, form, true, ID_SETTINGS_CUR);
    settings->SaveToChunk(iff, form, true, ID_SETTINGS_NEXT);
    iff.AddChunk(iff.GetRoot(), ID_JUNK, 1000);  // room to grow, dropped when the file is closed
  }

  {  // read back; the file closes before it is removed
    auto file = std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead);
    TFileStream& raw = *file;
    TIFFStream iff(std::move(file), false);
    ASSERT_EQ(iff.CountChunks(iff.GetRoot(), 0), 1);
    EXPECT_EQ(raw.Size(), int64_t{iff.GetChunkSize(iff.GetRoot()->firstChild)} + 8);
    const TChunkTypePair signalType[] = {{ID_FORM, MakeChunkID("SGNL")}};
    TIFFChunk* signal = iff.FindContainer(iff.GetRoot(), signalType, -1);
    ASSERT_NE(signal, nullptr);
    EXPECT_EQ(signal->parent->type, MakeChunkID("SGNL"));  // the LIST took its only child's type
    TIFFHelper helper(iff, signal);
    EXPECT_EQ(helper.ReadWord(MakeChunkID("WORD")), 0xABCD);
    EXPECT_EQ(helper.ReadInteger(MakeChunkID("INT ")), -123456);
    EXPECT_EQ(helper.ReadSingle(MakeChunkID("SNGL")), -0.75f);
    EXPECT_EQ(helper.ReadInt64(MakeChunkID("I64 ")), -(int64_t{1} << 50));
    EXPECT_EQ(helper.ReadWideString(kName), "Kanal 1 – Spannung");
    EXPECT_EQ(helper.ReadAnsiString(MakeChunkID("UNIT")), "V");
    std::vector<uint16_t> codesBack(codes.size());
    size_t count = codesBack.size();
    ASSERT_TRUE(ReadDataChunk(iff, signal, kRaw, "", 0, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, count, codesBack.data()));
    EXPECT_EQ(codesBack, codes);
    std::vector<double> voltsBack(volts.size());
    count = voltsBack.size();
    ASSERT_TRUE(ReadDataChunk(iff, signal, kVolt, "x7Kq_2Ab", -2, 2, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, count, voltsBack.data()));
    EXPECT_EQ(voltsBack, volts);

    ComPtr<TTestOwner> other = MakeObject<TTestOwner>();
    Owned<TCachedSettings> loaded = other->MakeSettings();
    const TChunkID ids[] = {ID_SETTINGS_NEXT};
    // The read-only identifier keeps its value, the rounded one reads back rounded, and the one
    // that cannot be read was saved as 0 and fails the check: all three are reported.
    EXPECT_EQ(loaded->LoadFromChunk(iff, iff.FindChunk(iff.GetRoot(), ids, 2), 0xFFFFFFFF),
              kRounded | kReadOnly | kFailing);
    for (int bit = 2; bit < 31; ++bit) {
      SCOPED_TRACE(bit);
      const uint32_t id = 1u << bit;
      const int64_t expected = id == kReadOnly || id == kFailing ? 0
                               : id == kRounded                  ? owner->values[bit] & ~int64_t{15}
                                                                 : owner->values[bit];
      EXPECT_EQ(other->values[bit], expected);
    }
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace veltra
