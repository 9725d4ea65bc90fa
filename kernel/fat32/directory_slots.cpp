// Folding long-name slots into their short entries.
#include "fat32/directory_slots.h"

namespace vornos::fat32 {

SlotKind DirectorySlotReader::read(const uint8_t* raw, uint32_t index, DirectorySlot& out) {
  const SlotKind kind = slot_kind(raw);
  switch (kind) {
    case SlotKind::kEnd:
      break;
    case SlotKind::kFree:
      names_.reset();
      break;
    case SlotKind::kLongName:
      if (raw[kAttrOffset] != attr::kLongName) {
        names_.reset();  // readers take a slot with a stray bit for a label
        break;
      }
      {
        const LongNameSlot slot = read_long_name_slot(raw);
        if (slot.order & kLastSlotFlag) run_start_ = index;
        names_.add_slot(slot);
      }
      break;
    case SlotKind::kShort:
      out.index = index;
      out.entry = read_short_entry(raw);
      out.long_name = names_.take_name_for(raw);
      out.first_slot = out.long_name.empty() ? index : run_start_;
      out.short_name = short_name_text(out.entry, page_);
      break;
  }
  return kind;
}

}  // namespace vornos::fat32
