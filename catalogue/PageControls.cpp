#include "catalogue/PageControls.h"

namespace lv {

PageControls& NoControls() {
  static PageControls controls;
  return controls;
}

}  // namespace lv
