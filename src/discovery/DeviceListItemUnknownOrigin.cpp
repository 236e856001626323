#include "discovery/DeviceListItemUnknownOrigin.h"

#include "couplers/I2CInterface.h"
#include "framework/CommonInterfaces.h"
#include "hw/FGInterface.h"
#include "hw/HWInterfaces.h"

namespace veltra {

TDeviceListItemUnknownOrigin::TDeviceListItemUnknownOrigin(IInterface* object) {
  HoldObject(object);
  if (auto named = Query<IVTObject>(object)) {
    name = named->GetName();
    shortName = named->GetShortName();
    serialNumber = static_cast<uint32_t>(named->GetNumber());
  }
  if (Query<IInstrument>(object)) kind |= kDeviceKindInstrument;
  if (Query<IFunctionGenerator>(object) || Query<IGeneratorProvider>(object)) {
    kind |= kDeviceKindGenerator;
  }
  if (Query<II2CHost>(object)) kind |= kDeviceKindI2CHost;
}

void TDeviceListItemUnknownOrigin::Closed() {
  TCustomDeviceListItem::Closed();
  if (!Destroying() && List()) List()->FreeItem(this);
}

}  // namespace veltra
