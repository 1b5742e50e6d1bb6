#include "updatedata/update_data_set.h"

namespace kx {

UpdateDataSet::UpdateDataSet() {
  for (const ComponentTraits& traits : kComponents) {
    ComponentImage& image = m_images[Index(traits.component)];
    image = ComponentImage{{'Z', 'E', 'B', 'A'}, traits.kind, 0, nullptr};
  }
}

}  // namespace kx
