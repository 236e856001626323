#pragma once
// The library-wide state behind the exports: the global instrument, the generator list, the
// measurement flags and the application's data-ready callback and event; load and unload; and
// TEvents, the carrier of the library's event handlers.
//
// Threads: the exports and handlers run on the application's thread (the one that called
// InitInstrument); nothing but the generator list locks.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "discovery/DeviceList.h"
#include "framework/CommonInterfaces.h"
#include "framework/InterfaceList.h"
#include "hw/FGInterface.h"
#include "hw/HWInterfaces.h"
#include "veltra/veltra.h"

namespace veltra::api {

// The number of open instruments at which the global instrument is (re)assigned.
inline constexpr size_t kExpectedInstrumentCount = 1;

// Names of the four registered window messages.
inline constexpr std::array<const char*, 4> kMessageNames = {
    "Veltra: MeasurementReady", "Veltra: TransUpdate", "Veltra: TransReady",
    "Veltra: SettingChanged"};

struct TLibraryState {
  ComPtr<IInstrument> instrument;  // empty until a device is opened
  TInterfaceList<IFunctionGenerator> generators;  // ascending object numbers
  bool measurementReady = false;
  bool adcRunning = false;
  VeltraDataReadyCallback dataReadyCallback = nullptr;
  uint32_t dataReadyEvent = 0;
  std::array<uint32_t, 4> messages{};  // registered numbers of kMessageNames
};

TLibraryState& State();

// The load work that may not run while the library is being loaded (inside DllMain on Windows):
// done once, by the first export call.
void EnsureStarted();

// Library unload: ExitInstrument, then the state lets go of everything.
void Unload();

// Opens what the device list finds (InitInstrument): a new opener for every device, then every
// searcher searches. Each opened device reaches TEvents::DeviceOpened.
void OpenDevices();
// Empties the list of device openers, then the device list (ExitInstrument).
void CloseDevices();
// Empties the list of device openers only, so no further device opens by itself.
void StopOpeningDevices();
// The objects of the open device-list items of the instrument kind, in list order.
std::vector<ComPtr<IInterface>> OpenInstrumentObjects();
// The objects of the open device-list items of the generator kind, in list order.
std::vector<ComPtr<IInterface>> OpenGeneratorObjects();

// The generator list's upkeep.
void BuildGeneratorList();
void AddGenerator(const ComPtr<IFunctionGenerator>& generator);
void HideGenerator(IInterface* generator);

VeltraStatus ExitAll();

class TEvents {
 public:
  // A device-list item opened its object.
  void DeviceOpened(TCustomDeviceList* list, TCustomDeviceListItem* item);
  // The global instrument's current settings changed (mask of identifiers).
  void InstrumentChanged(IInterface* sender, uint32_t changes);
  // The global instrument is going away.
  void InstrumentDestroyed(IInterface* sender);
  // A listed generator is going away.
  void GeneratorDestroyed(IInterface* sender);

  // Takes `instruments` (the open instrument objects) as the global instrument when they are
  // exactly the expected count; the core of DeviceOpened.
  void AdoptInstruments(std::span<const ComPtr<IInterface>> instruments);
};

TEvents& Events();

}  // namespace veltra::api
