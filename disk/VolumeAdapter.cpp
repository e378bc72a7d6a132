#include "disk/VolumeAdapter.h"

namespace lv {

std::atomic<uint8_t> FormattedDriveMode{0};

}  // namespace lv
