// The volume's little-endian fields, read and written with the disk layer's helpers.
#pragma once

#include "disk/le.h"

namespace vornos::fat32 {

using disk::load_le16;
using disk::load_le32;
using disk::store_le16;
using disk::store_le32;

}  // namespace vornos::fat32
