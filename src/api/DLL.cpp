#include "api/DLL.h"

#include <memory>
#include <mutex>

#include "discovery/DeviceOpener.h"
#include "framework/CommonObjects.h"
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
  auto object = Query<IVTObject>(generator);
  return object ? object->GetNumber() : 0;
}

TNotifyHide GeneratorHideHandler() {
  return TNotifyHide::Bind<&TEvents::GeneratorDestroyed>(&Events());
}

TNotifyHide InstrumentHideHandler() {
  return TNotifyHide::Bind<&TEvents::InstrumentDestroyed>(&Events());
}

TMultiCastDeviceListEvent::THandler DeviceOpenedHandler() {
  return TMultiCastDeviceListEvent::THandler::Bind<&TEvents::DeviceOpened>(&Events());
}

TSettingsChangeEvent InstrumentChangeHandler() {
  return TSettingsChangeEvent::Bind<&TEvents::InstrumentChanged>(&Events());
}

void WatchGenerator(const ComPtr<IFunctionGenerator>& generator) {
  if (auto notify = Query<IHideNotify>(generator)) notify->AddHideNotify(GeneratorHideHandler());
}

// Lets go of the global instrument and of its notifications.
void ReleaseInstrument() {
  ComPtr<IInstrument> instrument = std::move(State().instrument);
  if (!instrument) return;
  if (auto notify = Query<IHideNotify>(instrument)) notify->RemoveHideNotify(InstrumentHideHandler());
  if (auto cur = instrument->GetCur()) cur->RemoveChangeNotify(InstrumentChangeHandler());
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
    TDeviceList::Instance().OnItemOpened().Add(DeviceOpenedHandler());
    for (size_t i = 0; i < kMessageNames.size(); ++i) {
      state.messages[i] = platform::RegisterMessage(kMessageNames[i]);
    }
  });
}

void Unload() {
  ExitAll();
  // The openers watch the device list, so they go first.
  TDeviceOpenerList::DestroyInstance();
  TDeviceList::DestroyInstance();
}

void OpenDevices() {
  TDeviceList& list = TDeviceList::Instance();
  TDeviceOpenerList::Instance().Add(std::make_unique<TDeviceOpenerAll>(list));
  list.Search();
}

void CloseDevices() {
  StopOpeningDevices();
  TDeviceList::Instance().ClearItems();
}

void StopOpeningDevices() { TDeviceOpenerList::Instance().Clear(); }

std::vector<ComPtr<IInterface>> OpenInstrumentObjects() {
  return TDeviceList::Instance().CollectOpenObjects(kDeviceKindInstrument);
}

std::vector<ComPtr<IInterface>> OpenGeneratorObjects() {
  return TDeviceList::Instance().CollectOpenObjects(kDeviceKindGenerator);
}

VeltraStatus ExitAll() {
  CloseDevices();
  State().generators.Clear();
  ReleaseInstrument();
  return STATUS_OK;
}

void BuildGeneratorList() {
  std::vector<ComPtr<IFunctionGenerator>> generators;
  for (const ComPtr<IInterface>& device : OpenGeneratorObjects()) {
    if (auto generator = AsGenerator(device)) {
      WatchGenerator(generator);
      generators.push_back(std::move(generator));
    }
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
  WatchGenerator(generator);
}

void HideGenerator(IInterface* generator) {
  ComPtr<IInterface> hold(generator);  // hiding may release the last other reference
  if (auto hide = Query<IHide>(generator)) hide->Hide();
  // The list's hide handler has removed it; an object without the hide protocol goes here.
  State().generators.Remove(generator);
}

void TEvents::DeviceOpened(TCustomDeviceList* /*list*/, TCustomDeviceListItem* /*item*/) {
  const std::vector<ComPtr<IInterface>> instruments = OpenInstrumentObjects();
  AdoptInstruments(instruments);
}

void TEvents::AdoptInstruments(std::span<const ComPtr<IInterface>> instruments) {
  if (instruments.size() != kExpectedInstrumentCount) return;
  const ComPtr<IInterface>& object = instruments.front();
  if (Query<ICombinedInstrument>(object)) return;
  StopOpeningDevices();
  ReleaseInstrument();
  BuildGeneratorList();
  TLibraryState& state = State();
  state.instrument = Query<IInstrument>(object);
  if (!state.instrument) return;
  if (auto notify = Query<IHideNotify>(state.instrument)) {
    notify->AddHideNotify(InstrumentHideHandler());
  }
  if (auto cur = state.instrument->GetCur()) cur->AddChangeNotify(InstrumentChangeHandler());
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

void TEvents::InstrumentDestroyed(IInterface* /*sender*/) { ReleaseInstrument(); }

void TEvents::GeneratorDestroyed(IInterface* sender) {
  if (auto notify = Query<IHideNotify>(sender)) notify->RemoveHideNotify(GeneratorHideHandler());
  State().generators.Remove(sender);
}

}  // namespace veltra::api
