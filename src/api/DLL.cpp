#include "api/DLL.h"

#include <mutex>

#include "hw/TrigInterface.h"
#include "platform/Platform.h"

namespace veltra::api {

namespace {

// Lives from load to unload; its end is the library's unload.
struct TLibraryLifetime {
  TLibraryState state;
  TEvents events;
  std::once_flag started;

  ~TLibraryLifetime() {
    try {
      Unload();
    } catch (...) {
      // Nothing may escape the unload of the library.
    }
  }
};

TLibraryLifetime& Lifetime() {
  static TLibraryLifetime lifetime;
  return lifetime;
}

// Made when the library loads, so its end comes at unload.
[[maybe_unused]] const TLibraryLifetime& kLoaded = Lifetime();

int32_t ObjectNumber(const ComPtr<IFunctionGenerator>& generator) {
  return generator ? generator->GetNumber() : 0;
}

ComPtr<IFunctionGenerator> AsGenerator(const ComPtr<IInterface>& device) {
  if (auto provider = Query<IGeneratorProvider>(device)) return provider->GetGenerator();
  return Query<IFunctionGenerator>(device);
}

}  // namespace

TLibraryState& State() { return Lifetime().state; }
TEvents& Events() { return Lifetime().events; }

void EnsureStarted() {
  std::call_once(Lifetime().started, [] {
    TLibraryState& state = State();
    for (size_t i = 0; i < kMessageNames.size(); ++i) {
      state.messages[i] = platform::RegisterMessage(kMessageNames[i]);
    }
  });
}

void Unload() {
  ExitAll();
  State().generators.Clear();
  State().instrument = nullptr;
}

// The device list, its searchers and openers come with device discovery; until then no device
// is found.
void OpenDevices() {}
void CloseDevices() {}
void StopOpeningDevices() {}
std::vector<ComPtr<IInterface>> OpenInstrumentObjects() { return {}; }
std::vector<ComPtr<IInterface>> OpenGeneratorObjects() { return {}; }

VeltraStatus ExitAll() {
  CloseDevices();
  State().generators.Clear();
  State().instrument = nullptr;
  return STATUS_OK;
}

void BuildGeneratorList() {
  std::vector<ComPtr<IFunctionGenerator>> generators;
  for (const ComPtr<IInterface>& device : OpenGeneratorObjects()) {
    if (auto generator = AsGenerator(device)) generators.push_back(std::move(generator));
  }
  // Bubble sort by object number: passes shrink by one until one exchanges nothing.
  for (size_t end = generators.size(); end > 1; --end) {
    bool exchanged = false;
    for (size_t i = 0; i + 1 < end; ++i) {
      if (ObjectNumber(generators[i]) > ObjectNumber(generators[i + 1])) {
        std::swap(generators[i], generators[i + 1]);
        exchanged = true;
      }
    }
    if (!exchanged) break;
  }
  State().generators.Assign(std::move(generators));
}

void AddGenerator(const ComPtr<IFunctionGenerator>& generator) {
  if (!generator) return;
  TInterfaceList<IFunctionGenerator>& list = State().generators;
  const int32_t number = ObjectNumber(generator);
  // Behind the last entry with a lower number; at the front when there is none.
  size_t position = 0;
  for (size_t i = list.Count(); i > 0; --i) {
    if (ObjectNumber(list.Get(i - 1)) < number) {
      position = i;
      break;
    }
  }
  list.Insert(position, generator);
}

void HideGenerator(IInterface* generator) { State().generators.Remove(generator); }

void TEvents::DeviceOpened(IInterface* /*item*/) {
  const std::vector<ComPtr<IInterface>> instruments = OpenInstrumentObjects();
  AdoptInstruments(instruments);
}

void TEvents::AdoptInstruments(std::span<const ComPtr<IInterface>> instruments) {
  if (instruments.size() != kExpectedInstrumentCount) return;
  const ComPtr<IInterface>& object = instruments.front();
  if (Query<ICombinedInstrument>(object)) return;
  StopOpeningDevices();
  TLibraryState& state = State();
  const auto changed = TSettingsChangeEvent::Bind<&TEvents::InstrumentChanged>(this);
  if (state.instrument) {
    if (auto cur = state.instrument->GetCur()) cur->RemoveChangeNotify(changed);
  }
  BuildGeneratorList();
  state.instrument = Query<IInstrument>(object);
  if (!state.instrument) return;
  if (auto cur = state.instrument->GetCur()) cur->AddChangeNotify(changed);
  const int32_t channels = state.instrument->GetChannelCount();
  for (int32_t i = 0; i < channels; ++i) {
    if (auto channel = state.instrument->GetChannel(i)) {
      if (auto next = channel->GetNext()) next->SetValue(HW_AUTORANGING, 0);
    }
  }
}

void TEvents::InstrumentChanged(IInterface* /*sender*/, uint32_t changes) {
  if ((changes & HW_MREADY) == 0) return;
  TLibraryState& state = State();
  state.measurementReady = true;
  if (state.dataReadyCallback) state.dataReadyCallback();
  if (state.dataReadyEvent) platform::SetEventHandle(state.dataReadyEvent);
}

void TEvents::InstrumentDestroyed(IInterface* /*sender*/) { State().instrument = nullptr; }

void TEvents::GeneratorDestroyed(IInterface* sender) { HideGenerator(sender); }

}  // namespace veltra::api
