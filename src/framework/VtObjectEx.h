#pragma once
// Named objects: TVTObject gives a hideable object a name, a short name, a user-assigned alias, a
// per-class object number and a bitmap (IVTObject); TVtObjectEx adds the list of items the object
// publishes (its user actions).
//
// Numbers are drawn in AfterConstruction from the process-wide numbering of the object's class
// (GetClassID of the most derived class), unless the constructor chose one with SetNumber, and
// are given back when the object goes; a derived AfterConstruction that needs the number runs the
// inherited step first. The bitmap named by SetBitmapName is loaded in AfterConstruction as well.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/CommonInterfaces.h"
#include "framework/CommonObjects.h"

namespace veltra {

// Flags of GetDisplayName.
inline constexpr uint32_t kDisplayAlias = 1;      // the alias, when the object has one
inline constexpr uint32_t kDisplayShortName = 2;  // the short name instead of the name
inline constexpr uint32_t kDisplayNoNumber = 4;   // without the object number

class TVTObject : public TInterfacedHideObject, public IVTObject {
 public:
  explicit TVTObject(IInterface* owner = nullptr);
  ~TVTObject() override;  // deletes the bitmap and gives back a drawn number

  // IVTObject
  uintptr_t GetBitmap() override { return bitmap_; }
  // The alias (flag 1, when set), else the name (or the short name, flag 2) followed by the number
  // unless flag 4 is given or the number is 0: "Instr" + 3 gives "Instr3"; a name that ends in a
  // digit gets "_" in between ("Ch1" + 2 gives "Ch1_2").
  std::string GetDisplayName(uint32_t flags) override;
  int32_t GetNumber() override { return number_; }
  std::string GetName() override { return name_; }
  std::string GetShortName() override;  // the name when the short name is empty
  const std::string& ShortNameField() const { return shortName_; }  // as set, possibly empty
  std::string GetAlias() override { return alias_; }
  void SetAlias(const std::string& alias) override { alias_ = alias; }

  virtual void SetName(const std::string& name) { name_ = name; }
  virtual void SetShortName(const std::string& shortName) { shortName_ = shortName; }
  // Gives back a drawn number, then takes `number`. Numbers set this way are not registered, so
  // they may equal drawn ones.
  virtual void SetNumber(int32_t number);
  // Loads the bitmap of the bitmap name (replacing the one loaded before); without a name, nothing.
  virtual void LoadBitmap();

  const std::string& BitmapName() const { return bitmapName_; }
  void SetBitmapName(const std::string& name) { bitmapName_ = name; }
  bool OwnsNumber() const { return ownsNumber_; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  void AfterConstruction() override;

 private:
  void ReturnNumber();

  uintptr_t bitmap_ = 0;
  std::string bitmapName_;
  int32_t number_ = 0;
  bool numberChosen_ = false;  // drawn or set: AfterConstruction draws none
  bool ownsNumber_ = false;    // drawn from the numbering of numberClass_
  Guid numberClass_;
  std::string name_;
  std::string shortName_;
  std::string alias_;
};

// One item an object publishes: a user action by name, with its number and caption string, and
// whether it can be used now.
struct TPublishedItem {
  std::string name;
  int32_t number = 0;
  uint32_t captionId = 0;  // string identifier of the caption (Strings.h)
  bool enabled = true;
};

class TPublishedItems {
 public:
  // Adds `item`, replacing an item of the same name.
  void Add(TPublishedItem item);
  const TPublishedItem* Find(std::string_view name) const;
  bool Remove(std::string_view name);
  // Enables or disables the item of that name; false when there is none.
  bool SetEnabled(std::string_view name, bool enabled);
  void Clear() { items_.clear(); }

  size_t Count() const { return items_.size(); }
  const TPublishedItem& operator[](size_t index) const { return items_[index]; }

 private:
  size_t IndexOf(std::string_view name) const;  // Count() when absent

  std::vector<TPublishedItem> items_;
};

class TVtObjectEx : public TVTObject {
 public:
  using TVTObject::TVTObject;

  // The inherited hide, then the item list lets go of its items.
  void Hide() override;

  TPublishedItems& PublishedItems() { return items_; }

 private:
  TPublishedItems items_;
};

}  // namespace veltra
